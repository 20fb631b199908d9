// Saving files safely: a writable file in a folder that cannot be written, temporaries of
// killed saves, and saves killed at random moments.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsStore.h"

namespace vel {
namespace {

using test::ReadAll;
using test::WriteAll;

constexpr uid_t kNobody = 65534;

class AtomicFileTest : public test::TempDirTest {
  protected:
    // Temporaries of saves beside name: ".name.velnr-*".
    std::vector<std::string> Temps(const std::string& name) const {
        std::vector<std::string> temps;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("." + name + ".velnr-", 0) == 0) {
                temps.push_back(file);
            }
        }
        std::sort(temps.begin(), temps.end());
        return temps;
    }
};

// Runs body in a child process that folder permissions bind: the super-user's child becomes
// "nobody" (the permission bits are the only thing to stand in for, and a child can drop
// privileges without touching the test process); anyone else's runs as is. The child's
// file size limit is fileLimit when given. True when body gave true.
bool InBoundChild(const std::function<bool()>& body, rlim_t fileLimit = RLIM_INFINITY) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(3);
        }
        if (fileLimit != RLIM_INFINITY) {
            signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
            const rlimit limit{fileLimit, fileLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(3);
            }
        }
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 3) << "the child could not be set up";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(AtomicFileTest, AWritableFileInAFolderThatCannotBeWrittenIsRewrittenInPlace) {
    const std::string oldText = "[Host]\nk=1\n" + std::string(300, 'o') + "\n";
    const std::string newText = "[Host]\r\nk=2\r\n";  // shorter: the rest must be cut off
    struct {
        const char* what;
        bool exists;
        mode_t mode;
        rlim_t fileLimit;
        bool saved;
        bool keepsOld;  // the file must still hold the old content
    } cases[] = {
        {"writable file", true, 0644, RLIM_INFINITY, true, false},
        {"read-only file", true, 0444, RLIM_INFINITY, false, true},
        {"no file: nothing can be created", false, 0644, RLIM_INFINITY, false, false},
        // Over the limit part-way through: failure is reported, whatever the file now holds.
        {"write fails part-way", true, 0644, 8, false, false},
    };
    const std::string path = File("host.ini").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        chmod(dir_.c_str(), 0755);
        std::filesystem::remove(path);
        if (c.exists) {
            WriteAll(path, oldText);
            ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
            if (geteuid() == 0) {
                ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
            }
        }
        // Searchable for the child, not writable: no temporary file can be made beside it.
        ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
        const std::string bytes = c.fileLimit == RLIM_INFINITY ? newText : newText + newText;
        const bool saved =
            InBoundChild([&] { return ReplaceFileContents(path.c_str(), bytes); }, c.fileLimit);
        EXPECT_EQ(saved, c.saved);
        chmod(dir_.c_str(), 0755);
        if (c.saved) {
            EXPECT_EQ(ReadAll(path), bytes);
        }
        if (c.keepsOld) {
            EXPECT_EQ(ReadAll(path), oldText);
        }
        EXPECT_EQ(std::filesystem::exists(path), c.exists);
        EXPECT_TRUE(Temps("host.ini").empty());
    }
}

TEST_F(AtomicFileTest, TemporariesOfKilledSavesGoWithTheNextSaveButNotThoseInUse) {
    const std::string path = File("host.ini").string();
    WriteAll(path, "old\n");
    // Left by saves that died: unlocked files of the temporary pattern.
    WriteAll(File(".host.ini.velnr-aB3xyz"), "partial");
    WriteAll(File(".host.ini.velnr-000000"), "");
    // Not ours: another name, another file's temporary, a name of another length.
    WriteAll(File(".other.ini.velnr-aB3xyz"), "x");
    WriteAll(File(".host.ini.velnr-toolongname"), "x");
    {
        BesideTemp living;  // a save running in this process right now
        ASSERT_TRUE(living.Create(path));
        ASSERT_TRUE(ReplaceFileContents(path.c_str(), "new\n"));
        EXPECT_EQ(ReadAll(path), "new\n");
        const std::vector<std::string> left = Temps("host.ini");
        ASSERT_EQ(left.size(), 2u);  // the living one and the one of another length
        EXPECT_TRUE(std::filesystem::exists(living.Path()));
    }
    EXPECT_TRUE(std::filesystem::exists(File(".other.ini.velnr-aB3xyz")));
    EXPECT_EQ(Temps("host.ini"), std::vector<std::string>{".host.ini.velnr-toolongname"});
}

// Saves killed at random moments: the file always holds the old or the new content whole,
// and whatever temporary a killed save left is gone after the next save.
TEST_F(AtomicFileTest, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    const std::string path = File("host.ini").string();
    // Large enough that writing and flushing it takes a while.
    std::string oldText, newText;
    for (int i = 0; i < 8000; ++i) {
        oldText += "Key" + std::to_string(i) + "=old\r\n";
        newText += "Key" + std::to_string(i) + "=new value\r\n";
    }
    // Kills spread over the time one whole save in a child takes.
    ASSERT_TRUE(ReplaceFileContents(path.c_str(), oldText));
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t whole = fork();
    if (whole == 0) {
        _exit(ReplaceFileContents(path.c_str(), newText) ? 0 : 1);
    }
    int wholeStatus = 0;
    waitpid(whole, &wholeStatus, 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    ASSERT_TRUE(WIFEXITED(wholeStatus) && WEXITSTATUS(wholeStatus) == 0);
    ASSERT_EQ(ReadAll(path), newText);
    const long spanUs = std::max(
        1000L, (end.tv_sec - start.tv_sec) * 1000000L + (end.tv_nsec - start.tv_nsec) / 1000);
    std::mt19937 random(20261206);
    int oldSeen = 0, newSeen = 0, tempsLeft = 0;
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(ReplaceFileContents(path.c_str(), oldText));
        ASSERT_TRUE(Temps("host.ini").empty()) << "round " << round;
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(ReplaceFileContents(path.c_str(), newText) ? 0 : 1);
        }
        const timespec pause{
            0, static_cast<long>(random() % static_cast<unsigned long>(spanUs)) * 1000};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        const std::string now = ReadAll(path);
        ASSERT_TRUE(now == oldText || now == newText) << "round " << round;
        (now == oldText ? oldSeen : newSeen)++;
        tempsLeft += static_cast<int>(Temps("host.ini").size());
    }
    ASSERT_TRUE(ReplaceFileContents(path.c_str(), oldText));
    EXPECT_TRUE(Temps("host.ini").empty());
    std::printf(
        "100 killed saves: %d left the old file, %d the new one; %d temporaries left "
        "behind, none after the next save\n",
        oldSeen, newSeen, tempsLeft);
}

}  // namespace
}  // namespace vel

#endif
