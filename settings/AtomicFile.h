#pragma once
// Replacing a file so that a crash, a full disk or a refused write never leaves it half
// written: the new contents go to a temporary file in the same folder, are flushed to disk,
// and only then take the original's place in one rename.

#include <string_view>

namespace vel {

// True when path now holds exactly bytes. False leaves path exactly as it was and removes
// the temporary file. A symbolic link is followed, so the link stays and its target is
// replaced; an existing file's permission bits are kept.
bool ReplaceFileContents(const char* path, std::string_view bytes);

}  // namespace vel
