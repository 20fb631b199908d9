#pragma once
// Fresh memory: hints that never change what a buffer holds, and how much the process can
// still address.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vel::platform {

// Asks for huge pages for the whole pages inside a buffer of at least 4 MiB (fewer page faults
// on first touch); a hint only: where the system has none or refuses, nothing changes.
void AdviseHugePages(void* data, std::size_t bytes);

// Bytes of address space the process can still map: on Windows its free virtual address
// space, on POSIX what RLIMIT_AS leaves beyond its current mappings; empty when that is
// unknown or unbounded. An upper bound: the free space may lie in pieces.
std::optional<std::uint64_t> AddressSpaceAvailable();

}  // namespace vel::platform
