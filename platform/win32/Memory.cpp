#include "platform/Memory.h"

#include "platform/win32/WinApi.h"

namespace vel::platform {

// Large pages need a privilege that hosts do not hold: ordinary pages it is.
void AdviseHugePages(void* /*data*/, std::size_t /*bytes*/) {}

std::optional<std::uint64_t> AddressSpaceAvailable() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return std::nullopt;
    }
    return status.ullAvailVirtual;
}

}  // namespace vel::platform
