#include "platform/Memory.h"

namespace vel::platform {

// Large pages need a privilege that hosts do not hold: ordinary pages it is.
void AdviseHugePages(void* /*data*/, std::size_t /*bytes*/) {}

}  // namespace vel::platform
