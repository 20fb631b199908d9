#pragma once
// Replacing a file so that a crash, a full disk or a refused write never leaves it half
// written: the new contents go to a temporary file in the same folder, are flushed to disk,
// and only then take the original's place in one rename.

#include <string>
#include <string_view>

namespace vel {

// True when path now holds exactly bytes. A symbolic link is followed, so the link stays and
// its target is replaced; an existing file's permission bits (on Windows its attributes and
// security descriptor) are kept. Temporaries that killed saves left beside the file are
// removed first.
//
// Where no temporary file can be created beside it (a writable file in a folder the user
// cannot write), the file is rewritten in place once the whole new content is ready; that
// one write is not crash-safe, and a failure part-way gives false with the file damaged.
// Any other failure gives false, leaves path exactly as it was and removes the temporary.
bool ReplaceFileContents(const char* path, std::string_view bytes);

// A temporary file beside target, ".NAME.velnr-XXXXXX", held open and locked while the object
// lives: RemoveStaleTemps in any process leaves it alone until then. Moving it into place is
// the owner's job; the file is removed when the object goes unless Keep was called.
class BesideTemp {
  public:
    BesideTemp() = default;
    ~BesideTemp();
    BesideTemp(const BesideTemp&) = delete;
    BesideTemp& operator=(const BesideTemp&) = delete;

    // False with errno set when it cannot be created. Sweeps stale temporaries first.
    bool Create(const std::string& target);
    const std::string& Path() const { return path_; }
    int Descriptor() const { return fd_; }
    // The file has been renamed into place (or removed by the owner): leave the name alone.
    void Keep() { keep_ = true; }
    // Closes the descriptor (ends the lock); false when the close reported an error.
    bool Close();

  private:
    std::string path_;
    int fd_ = -1;
    bool keep_ = false;
};

// Removes the temporaries beside target that no living save holds: those a killed process
// left behind.
void RemoveStaleTemps(const std::string& target);

}  // namespace vel
