#pragma once
// Hints about fresh memory; nothing here changes what a buffer holds.

#include <cstddef>

namespace vel::platform {

// Asks for huge pages for the whole pages inside a buffer of at least 4 MiB (fewer page faults
// on first touch); a hint only: where the system has none or refuses, nothing changes.
void AdviseHugePages(void* data, std::size_t bytes);

}  // namespace vel::platform
