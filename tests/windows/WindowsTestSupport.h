#pragma once
// Helpers of the Windows tests: the helper program beside the tests, thread counts, the
// folder of the running program.

#include <string>
#include <vector>

#include "platform/win32/Win32Handles.h"

#include <tlhelp32.h>

namespace vel {

// The folder of the running test program, with a trailing backslash.
inline std::string ModuleFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

inline std::string ProbePath() {
    return ModuleFolder() + "velnr_probe.exe";
}

inline DWORD CountThreadsOfThisProcess() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ++count;
        }
    }
    CloseHandle(snap);
    return count;
}

// velnr_probe.exe started with the given arguments (each quoted).
class ProbeProcess {
  public:
    explicit ProbeProcess(const std::vector<std::string>& args) {
        std::string line = "\"";
        line.append(ProbePath()).append("\"");
        for (const std::string& a : args) {
            line.append(" \"").append(a).append("\"");
        }
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &si, &info_)) {
            CloseHandle(info_.hThread);
            started_ = true;
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
        if (!started_ || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            return 0xFFFFFFFF;
        }
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

}  // namespace vel
