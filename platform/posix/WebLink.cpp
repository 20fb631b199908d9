// Opening a web address on POSIX desktops: xdg-open, then the command line of the default
// text/html application's desktop entry.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/WebLink.h"

namespace vel::platform {

namespace {

constexpr int32_t kSucceeded = 33;
constexpr int32_t kOutOfResources = 0;
constexpr int32_t kFileNotFound = 2;
constexpr int32_t kAssociationInvalid = 27;
constexpr int32_t kNoAssociation = 31;

// How long a started program may take to report failure. One still running by then (a
// browser that stays in the foreground) counts as started and is left to run on its own.
constexpr long kGraceMs = 3000;
constexpr int kExecFailed = 127;

// Runs args detached from this process and returns its exit status, or 0 when it is still
// running after kGraceMs, kExecFailed when it could not start, -1 when no process could be
// made. An intermediate child does the waiting, so nothing is left unreaped here.
int RunDetached(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t middle = fork();
    if (middle < 0) {
        return -1;
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on: the caller may have other threads.
        setsid();
        const pid_t program = fork();
        if (program < 0) {
            _exit(kExecFailed);
        }
        if (program == 0) {
            const int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, STDIN_FILENO);
                dup2(devnull, STDOUT_FILENO);
                dup2(devnull, STDERR_FILENO);  // a browser's chatter is not the host's
            }
            execvp(argv[0], argv.data());
            _exit(kExecFailed);
        }
        const struct timespec step = {0, 20'000'000};
        for (long waited = 0; waited < kGraceMs; waited += 20) {
            int status = 0;
            if (waitpid(program, &status, WNOHANG) == program) {
                _exit(WIFEXITED(status) ? WEXITSTATUS(status) : kExecFailed);
            }
            nanosleep(&step, nullptr);
        }
        _exit(0);  // still running: the program is reparented and reaped by the system
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kExecFailed;
}

// The first line of a command's standard output, without its line end.
std::optional<std::string> FirstLineOf(const char* command) {
    FILE* pipe = popen(command, "r");
    if (!pipe) {
        return std::nullopt;
    }
    char line[1024];
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = pclose(pipe);
    if (!got || status != 0) {
        return std::nullopt;
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The Exec line of the desktop entry desktopId, searched in the XDG data directories.
std::optional<std::string> ExecLineOf(const std::string& desktopId) {
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome) {
        dirs.emplace_back(dataHome);
    } else if (home && *home) {
        dirs.push_back(std::string(home) + "/.local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (size_t begin = 0; begin <= list.size();) {
        size_t end = list.find(':', begin);
        if (end == std::string::npos) {
            end = list.size();
        }
        if (end > begin) {
            dirs.push_back(list.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    for (const std::string& dir : dirs) {
        std::ifstream file(dir + "/applications/" + desktopId);
        if (!file) {
            continue;
        }
        std::string line;
        bool inEntry = false;
        while (std::getline(file, line)) {
            if (!line.empty() && line.front() == '[') {
                inEntry = line == "[Desktop Entry]";
            } else if (inEntry && line.rfind("Exec=", 0) == 0) {
                return line.substr(5);
            }
        }
        return std::nullopt;  // the first entry found is the one that counts
    }
    return std::nullopt;
}

// The fallback's result, or none when there is no usable default application to start.
std::optional<int32_t> OpenWithDefaultHtmlApplication(const std::string& address) {
    const std::optional<std::string> desktopId =
        FirstLineOf("xdg-mime query default text/html 2>/dev/null");
    if (!desktopId || desktopId->empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> exec = ExecLineOf(*desktopId);
    if (!exec) {
        return std::nullopt;
    }
    const std::vector<std::string> args = BuildDesktopCommand(*exec, address);
    if (args.empty()) {
        return std::nullopt;
    }
    const int status = RunDetached(args);
    if (status < 0) {
        return kOutOfResources;
    }
    return status == 0 ? kSucceeded : kFileNotFound;
}

// xdg-open's exit status as one of the codes the about box explains.
int32_t XdgOpenResult(int status) {
    switch (status) {
        case 0:
            return kSucceeded;
        case -1:
            return kOutOfResources;
        case 2:  // no such file
            return kFileNotFound;
        case 3:  // no tool found to open it
        case kExecFailed:
            return kNoAssociation;
        default:  // bad arguments, or the opening program failed
            return kAssociationInvalid;
    }
}

}  // namespace

int32_t OpenWebAddress(const std::string& address, int32_t /*showMode*/) {
    const int32_t shell = XdgOpenResult(RunDetached({"xdg-open", address}));
    if (WebAddressOpened(shell)) {
        return shell;
    }
    return OpenWithDefaultHtmlApplication(address).value_or(shell);
}

}  // namespace vel::platform
