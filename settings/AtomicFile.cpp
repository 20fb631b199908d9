#include "settings/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vel {
namespace {

std::atomic<unsigned> g_tempCounter{0};

#ifdef _WIN32

int ProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}
int OpenExclusive(const std::string& name) {
    return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const unsigned chunk =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes.size());
        const int n = _write(fd, bytes.data(), chunk);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}
bool FlushToDisk(int fd) {
    return _commit(fd) == 0;
}
bool CloseFile(int fd) {
    return _close(fd) == 0;
}
void RemoveFile(const std::string& name) {
    DeleteFileA(name.c_str());
}
bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
std::string ResolveTarget(const char* path) {
    return path;
}
bool KeepPermissions(int, const std::string&) {
    return true;
}
void SyncFolder(const std::string&) {}

#else

int ProcessId() {
    return static_cast<int>(getpid());
}
int OpenExclusive(const std::string& name) {
    // 0666 lets the umask decide, as for any newly created file.
    return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}
bool FlushToDisk(int fd) {
    while (fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}
bool CloseFile(int fd) {
    return close(fd) == 0;
}
void RemoveFile(const std::string& name) {
    unlink(name.c_str());
}
bool MoveOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}
// Renaming over a symbolic link would replace the link itself; write to its target instead.
std::string ResolveTarget(const char* path) {
    struct stat st {};
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path, nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}
// The replacement gets the original's permission bits (and owner when allowed); a new file
// keeps the umask's.
bool KeepPermissions(int fd, const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode)) {
        return false;  // never replace a folder, device or pipe
    }
    // Keep the owner too where that is allowed (a privileged process editing a user's file).
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
        (void)!fchown(fd, st.st_uid, st.st_gid);
    }
    return fchmod(fd, st.st_mode & 07777) == 0;
}
// Makes the rename itself durable; a failure here cannot undo it, so it is not reported.
void SyncFolder(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

#endif

}  // namespace

bool ReplaceFileContents(const char* path, std::string_view bytes) {
    if (!path || !*path) {
        return false;
    }
    const std::string target = ResolveTarget(path);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(ProcessId()) + "-" +
               std::to_string(g_tempCounter.fetch_add(1));
        fd = OpenExclusive(temp);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    bool ok = KeepPermissions(fd, target) && WriteAll(fd, bytes) && FlushToDisk(fd);
    ok = CloseFile(fd) && ok;
    if (ok) {
        ok = MoveOver(temp, target);
    }
    if (!ok) {
        RemoveFile(temp);
        return false;
    }
    SyncFolder(target);
    return true;
}

}  // namespace vel
