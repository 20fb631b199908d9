#include "host/Output.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace velnr {

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileStem(const std::string& path) {
    const std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string FileExtension(const std::string& path) {
    const std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

std::string DirName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ExpandPattern(const std::string& pattern, const std::string& inputPath, const std::string& ext,
                   std::string& fileName, std::string& error) {
    if (pattern.find('/') != std::string::npos) {
        error = "the name pattern must not contain '/' (use -d for the folder)";
        return false;
    }
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '{') {
            out += pattern[i];
            continue;
        }
        const size_t close = pattern.find('}', i);
        if (close == std::string::npos) {
            error = "unclosed '{' in the name pattern";
            return false;
        }
        const std::string field = pattern.substr(i + 1, close - i - 1);
        if (field == "stem") {
            out += FileStem(inputPath);
        } else if (field == "ext") {
            out += ext;
        } else if (field == "name") {
            out += FileName(inputPath);
        } else {
            error = "unknown field {" + field + "} in the name pattern (use {stem}, {ext}, {name})";
            return false;
        }
        i = close;
    }
    if (out.empty() || out == "." || out == "..") {
        error = "the name pattern gives an empty file name";
        return false;
    }
    fileName = out;
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool GetFileId(const std::string& path, FileId& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    id = {st.st_dev, st.st_ino};
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectories(const std::string& path, std::string& error) {
    if (path.empty() || IsDirectory(path)) {
        return true;
    }
    const std::string parent = DirName(path);
    if (parent != path && !MakeDirectories(parent, error)) {
        return false;
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create folder " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ReplacementTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

bool CreateTempBeside(const std::string& target, vel::BesideTemp& temp, std::string& error) {
    if (!temp.Create(target)) {
        error = "cannot write in " + DirName(target) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CommitOutput(const std::string& temp, const std::string& target, bool overwrite,
                  std::string& error, bool& existed) {
    existed = false;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat existing {};
    if (overwrite && ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    }
    if (::chmod(temp.c_str(), mode) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    int rc = 0;
    if (overwrite) {
        rc = ::rename(temp.c_str(), target.c_str());
    } else {
        rc = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The file system cannot rename without replacing: a hard link fails on an
            // existing name just as well.
            rc = ::link(temp.c_str(), target.c_str());
            if (rc == 0) {
                ::unlink(temp.c_str());
            }
        }
    }
    if (rc != 0) {
        existed = errno == EEXIST;
        error = existed ? "already exists (use --force to overwrite)"
                        : std::string(std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace velnr
