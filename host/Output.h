#pragma once
// Where results go and how they get there: name patterns, the checks that keep inputs and
// existing files safe, and the write-to-temporary-then-rename step.

#include <sys/types.h>

#include <compare>
#include <string>

#include "platform/AtomicFile.h"

namespace velnr {

// The file name of a path and its parts: "dir/a.b.tif" -> name "a.b.tif", stem "a.b",
// extension "tif" (empty when there is none).
std::string FileName(const std::string& path);
std::string FileStem(const std::string& path);
std::string FileExtension(const std::string& path);
std::string DirName(const std::string& path);  // "." for a bare name

// Expands {stem}, {ext} and {name} in pattern. ext is the extension to use (the input's, or
// the format's usual one when the input has none). Gives false with a reason for an unknown
// or unclosed placeholder, a '/' in the pattern, or an empty result.
bool ExpandPattern(const std::string& pattern, const std::string& inputPath, const std::string& ext,
                   std::string& fileName, std::string& error);

// True when both paths name the same existing file (also through links).
bool SameFile(const std::string& a, const std::string& b);
bool PathExists(const std::string& path);
// A file's or folder's identity, through links: two paths with the same one are one file.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};
// False when path does not lead to anything.
bool GetFileId(const std::string& path, FileId& id);
bool IsDirectory(const std::string& path);
// Creates the folder and its parents. False with a reason when that fails.
bool MakeDirectories(const std::string& path, std::string& error);

// Where a replacement of path must be written: through symbolic links to the file they lead
// to, so that the link stays a link; path itself otherwise (also for a link to nowhere).
std::string ReplacementTarget(const std::string& path);

// A new empty file in the folder of target, named after it and hidden, for the result to be
// written to before it takes target's place; locked while temp lives, removed with it unless
// committed. Temporaries of killed runs beside target go first. False with a reason when it
// cannot be created.
bool CreateTempBeside(const std::string& target, vel::BesideTemp& temp, std::string& error);

// Moves temp to target. Without overwrite an existing target is never replaced (refused
// atomically, not just checked beforehand). Gives the file the permission bits of the file it
// replaces, or those a new file gets under the current umask. On failure temp is removed, and
// existed tells whether target was there already (only without overwrite).
bool CommitOutput(const std::string& temp, const std::string& target, bool overwrite,
                  std::string& error, bool& existed);

}  // namespace velnr
