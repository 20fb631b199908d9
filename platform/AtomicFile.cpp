#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/win32/WinApi.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace vel {
namespace {

constexpr std::string_view kTempMark = ".velnr-";

std::string FolderOf(const std::string& target) {
    const std::size_t slash = target.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
}
std::string NameOf(const std::string& target) {
    const std::size_t slash = target.find_last_of("/\\");
    return slash == std::string::npos ? target : target.substr(slash + 1);
}
// ".NAME.velnr-": what every temporary of target starts with.
std::string TempPrefix(const std::string& target) {
    // Appended piece by piece: GCC 12 warns falsely about operator+ chains at -O3.
    std::string prefix(1, '.');
    prefix.append(NameOf(target)).append(kTempMark);
    return prefix;
}

#ifdef _WIN32

std::atomic<unsigned> g_tempCounter{0};

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
void RemoveFile(const std::string& name) {
    DeleteFileA(name.c_str());
}
// ReplaceFile keeps the replaced file's attributes and security descriptor, which a rename
// over it would drop; a new file simply takes its place. A folder is never replaced (Wine's
// ReplaceFile would put the file in its place, folder contents and all).
bool MoveOver(const std::string& from, const std::string& to) {
    const DWORD attributes = GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                            nullptr, nullptr) != 0;
    }
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}
std::string ResolveTarget(const char* path) {
    return path;
}
bool KeepPermissions(int, const std::string&) {
    return true;
}
void SyncFolder(const std::string&) {}
bool RewriteInPlace(const std::string& target, std::string_view bytes) {
    const int fd = _open(target.c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, bytes) && _chsize_s(fd, static_cast<__int64>(bytes.size())) == 0 &&
              FlushToDisk(fd);
    ok = _close(fd) == 0 && ok;
    return ok;
}
bool CannotCreateBeside(int error) {
    return error == EACCES || error == EPERM;
}

#else

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
    const int fd = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}
// The new content overwrites the old from the start and the rest is cut off: the file is
// never emptied before the new bytes are there.
bool RewriteInPlace(const std::string& target, std::string_view bytes) {
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && WriteAll(fd, bytes) &&
              ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && FlushToDisk(fd);
    ok = close(fd) == 0 && ok;
    return ok;
}
bool CannotCreateBeside(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

#endif

}  // namespace

BesideTemp::~BesideTemp() {
    Close();
    if (!keep_ && !path_.empty()) {
        RemoveFile(path_);
    }
}

bool BesideTemp::Close() {
    if (fd_ < 0) {
        return true;
    }
#ifdef _WIN32
    const bool ok = _close(fd_) == 0;
#else
    const bool ok = close(fd_) == 0;
#endif
    fd_ = -1;
    return ok;
}

#ifdef _WIN32

bool BesideTemp::Create(const std::string& target) {
    RemoveStaleTemps(target);
    const std::string base =
        FolderOf(target) + TempPrefix(target) + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = base;
        name.append(std::to_string(g_tempCounter.fetch_add(1)));
        // Opened without delete sharing: another process's sweep cannot remove it while open.
        const int fd =
            _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            fd_ = fd;
            path_ = std::move(name);
            keep_ = false;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

void RemoveStaleTemps(const std::string& target) {
    const std::string folder = FolderOf(target);
    WIN32_FIND_DATAA found{};
    std::string pattern = folder;
    pattern.append(TempPrefix(target)).append("*");
    const HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // Fails for a temporary a living save holds open.
        std::string name = folder;
        name.append(found.cFileName);
        DeleteFileA(name.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

#else

// Six characters for a temporary's name, different for every call in any process.
std::string TempSuffix() {
    static constexpr char kDigits[] =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t mix = (static_cast<uint64_t>(getpid()) << 40) ^ static_cast<uint64_t>(now.tv_nsec) ^
                   (static_cast<uint64_t>(now.tv_sec) << 30) ^
                   (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string suffix(6, '0');
    for (char& c : suffix) {
        c = kDigits[mix % 62];
        mix = mix / 62 ^ (mix << 17);
    }
    return suffix;
}

bool BesideTemp::Create(const std::string& target) {
    RemoveStaleTemps(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = FolderOf(target);
        name.append(TempPrefix(target)).append(TempSuffix());
        // 0666 lets the umask decide, as for any newly created file.
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        // A sweep in another process may have removed the file between its creation and the
        // lock; the sweep holds the lock while it removes, so once locked, a linked file is ours.
        struct stat st {};
        if (flock(fd, LOCK_EX) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0) {
            fd_ = fd;
            path_ = std::move(name);
            keep_ = false;
            return true;
        }
        close(fd);
    }
    errno = EEXIST;
    return false;
}

void RemoveStaleTemps(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string prefix = TempPrefix(target);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        // Unlocked means no living save holds it; a regular file only, never a link's target.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            unlinkat(dirFd, entry->d_name, 0);
        }
        close(fd);
    }
    closedir(dir);
}

#endif

bool ReplaceFileContents(const char* path, std::string_view bytes) {
    if (!path || !*path) {
        return false;
    }
    const std::string target = ResolveTarget(path);
    BesideTemp temp;
    if (!temp.Create(target)) {
        // A folder the user cannot write may still hold a file the user can: the content is
        // complete in memory, so the one unsafe step is the rewrite itself.
        return CannotCreateBeside(errno) && RewriteInPlace(target, bytes);
    }
    bool ok = KeepPermissions(temp.Descriptor(), target) && WriteAll(temp.Descriptor(), bytes) &&
              FlushToDisk(temp.Descriptor());
#ifdef _WIN32
    // Windows cannot replace with a file still open.
    ok = temp.Close() && ok && MoveOver(temp.Path(), target);
#else
    // Renamed while still locked, so that no sweep can take the finished file away.
    ok = ok && MoveOver(temp.Path(), target);
    if (ok) {
        temp.Keep();
    }
    ok = temp.Close() && ok;
#endif
    if (!ok) {
        return false;  // the temporary goes with the object
    }
    temp.Keep();
    SyncFolder(target);
    return true;
}

}  // namespace vel
