// Saving files safely: atomic or in-place replacement, full disks, killed saves.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "TestFiles.h"
#include "platform/AtomicFile.h"

namespace vel {
namespace {

using test::ReadAll;
using test::WriteAll;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

class AtomicFileTest : public test::TempDirTest {
  protected:
    // Temporaries of saves beside host.ini.
    std::set<std::string> Temps() const {
        return test::NamesStartingWith(dir_, ".host.ini.velnr-");
    }
    const std::string path_ = File("host.ini").string();
};

// Exit status of body run in a child, 3 when the child could not be set up. The super-user's
// child becomes "nobody" when asked, so that permission bits bind it.
int InChild(const std::function<bool()>& body, rlim_t fileLimit, bool asNobody) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
        const rlimit limit{fileLimit, fileLimit};
        if ((fileLimit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
            (asNobody && geteuid() == 0 &&
             (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))) {
            _exit(3);
        }
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A writable folder: the file is replaced through a temporary, keeping the link to it, its
// mode and (saved by the super-user) its owner; a full disk leaves the original. A folder that
// cannot be written: a writable file is rewritten in place (the rest cut off), anything else fails.
TEST_F(AtomicFileTest, ReplacesAtomicallyOrInPlace) {
    const std::string oldText = "[Host]\nk=1\n" + std::string(300, 'o') + "\n";
    const std::string newText = "[Host]\r\nk=2\r\n";
    const std::string big(100000, 'm');
    const struct {
        const char* what;
        mode_t folderMode, fileMode;  // fileMode 0: no file
        rlim_t fileLimit;
        const std::string& bytes;
        bool saved, keepsOld;
    } cases[] = {{"writable folder", 0755, 0640, RLIM_INFINITY, newText, true, false},
                 {"full disk", 0755, 0640, 50000, big, false, true},
                 {"writable file", 0555, 0644, RLIM_INFINITY, newText, true, false},
                 {"read-only file", 0555, 0444, RLIM_INFINITY, newText, false, true},
                 {"no file: nothing can be created", 0555, 0, RLIM_INFINITY, newText, false, false},
                 // Failure is reported, whatever the file now holds.
                 {"write fails part-way", 0555, 0644, 8, newText, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        chmod(dir_.c_str(), 0755);
        fs::remove(path_);
        fs::remove(File("link.ini"));
        fs::create_symlink(path_, File("link.ini"));
        if (c.fileMode) {
            WriteAll(path_, oldText);
            ASSERT_EQ(chmod(path_.c_str(), c.fileMode), 0);
            ASSERT_EQ(chown(path_.c_str(), kNobody, kNobody), geteuid() == 0 ? 0 : -1);
        }
        ASSERT_EQ(chmod(dir_.c_str(), c.folderMode), 0);
        const auto link = File("link.ini").string();
        EXPECT_EQ(InChild([&] { return ReplaceFileContents(link.c_str(), c.bytes); }, c.fileLimit,
                          c.folderMode == 0555),
                  c.saved ? 0 : 1);
        chmod(dir_.c_str(), 0755);
        if (c.saved || c.keepsOld) {
            EXPECT_EQ(ReadAll(path_), c.saved ? c.bytes : oldText);
        }
        struct stat st {};
        EXPECT_EQ(stat(path_.c_str(), &st), c.fileMode ? 0 : -1);
        EXPECT_EQ(st.st_mode & 07777, c.fileMode);
        EXPECT_EQ(st.st_uid, c.fileMode ? (geteuid() == 0 ? kNobody : geteuid()) : 0);
        EXPECT_TRUE(fs::is_symlink(File("link.ini")));
        EXPECT_TRUE(Temps().empty());
    }
}

TEST_F(AtomicFileTest, TemporariesOfKilledSavesGoWithTheNextSaveButNotThoseInUse) {
    WriteAll(path_, "old\n");
    // Left by saves that died: unlocked files of the temporary pattern.
    WriteAll(File(".host.ini.velnr-aB3xyz"), "partial");
    WriteAll(File(".host.ini.velnr-000000"), "");
    // Not ours: another file's temporary, a name of another length.
    WriteAll(File(".other.ini.velnr-aB3xyz"), "x");
    WriteAll(File(".host.ini.velnr-toolongname"), "x");
    {
        BesideTemp living;  // a save running in this process right now
        ASSERT_TRUE(living.Create(path_));
        ASSERT_TRUE(ReplaceFileContents(path_.c_str(), "new\n"));
        EXPECT_EQ(ReadAll(path_), "new\n");
        EXPECT_EQ(Temps().size(), 2u);  // the living one and the one of another length
        EXPECT_TRUE(fs::exists(living.Path()));
    }
    EXPECT_TRUE(fs::exists(File(".other.ini.velnr-aB3xyz")));
    EXPECT_EQ(Temps(), std::set<std::string>{".host.ini.velnr-toolongname"});
}

// Saves killed at random moments over the time one whole save takes: the file always holds
// the old or the new content whole, and a killed save's temporary goes with the next save.
TEST_F(AtomicFileTest, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    std::string oldText, newText;  // large enough that writing and flushing takes a while
    for (int i = 0; i < 8000; ++i) {
        oldText.append("Key").append(std::to_string(i)).append("=old\r\n");
        newText.append("Key").append(std::to_string(i)).append("=new value\r\n");
    }
    ASSERT_TRUE(ReplaceFileContents(path_.c_str(), oldText));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ReplaceFileContents(path_.c_str(), newText));
    const long spanUs = std::max<long>(1000, (std::chrono::steady_clock::now() - start) / 1us);
    std::mt19937 random(20261206);
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(ReplaceFileContents(path_.c_str(), oldText));
        ASSERT_TRUE(Temps().empty()) << "round " << round;
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(ReplaceFileContents(path_.c_str(), newText) ? 0 : 1);
        }
        const timespec pause{
            0, static_cast<long>(random() % static_cast<unsigned long>(spanUs)) * 1000};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const std::string now = ReadAll(path_);
        ASSERT_TRUE(now == oldText || now == newText) << "round " << round;
    }
    ASSERT_TRUE(ReplaceFileContents(path_.c_str(), oldText));
    EXPECT_TRUE(Temps().empty());
}

}  // namespace
}  // namespace vel

#endif
