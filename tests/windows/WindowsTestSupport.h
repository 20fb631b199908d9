#pragma once
// Helpers of the Windows tests: the helper program beside the tests, the folder of the
// running program, the picture two processes denoise at once.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/Win32Handles.h"

namespace vel {

// Several tiles, so that both runs wait on their completion events long enough to overlap.
inline constexpr int32_t kTwoProcessWidth = 600, kTwoProcessHeight = 580;
inline constexpr uint64_t kTwoProcessSeed = 26;

// The folder of the running test program, with a trailing backslash.
inline std::string ModuleFolder() {
    char path[MAX_PATH];
    const std::string folder(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// velnr_probe.exe started with the given arguments (each quoted).
class ProbeProcess {
  public:
    explicit ProbeProcess(const std::vector<std::string>& args) {
        std::string line = "\"";
        line.append(ModuleFolder()).append("velnr_probe.exe\"");
        for (const std::string& a : args) {
            line.append(" \"").append(a).append("\"");
        }
        STARTUPINFOA si{};
        si.cb = sizeof si;
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &info_);
        if (started_) {
            CloseHandle(info_.hThread);
        }
    }
    ~ProbeProcess() {
        if (started_) {
            WaitForSingleObject(info_.hProcess, 20000);
            CloseHandle(info_.hProcess);
        }
    }
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;

    bool Started() const { return started_; }
    // Exit code after waiting up to timeoutMs; 0xFFFFFFFF when it did not end.
    DWORD Finish(DWORD timeoutMs) {
        DWORD code = 0xFFFFFFFF;
        if (started_ && WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(info_.hProcess, &code);
        }
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

}  // namespace vel
