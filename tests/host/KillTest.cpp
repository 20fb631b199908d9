// velnr killed at random moments while it writes its output: the output path afterwards is
// absent or holds the whole result, and the next run leaves no temporary behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "host/ImageIO.h"
#include "host/Output.h"

namespace velnr {
namespace {

pid_t StartVelnr(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(126);
        }
        std::vector<std::string> copies(args);
        std::string exe = VELNR_EXE;
        std::vector<char*> argv{exe.data()};
        for (std::string& a : copies) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

long NowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000L + t.tv_nsec / 1000;
}

std::vector<std::string> Temps(const test::ScratchDir& dir) {
    std::vector<std::string> temps;
    for (const std::string& name : dir.List()) {
        if (name.rfind(".out.tif.velnr-", 0) == 0) {
            temps.push_back(name);
        }
    }
    return temps;
}

// Waits until velnr has started writing (a temporary other than those of earlier runs
// exists) or has ended; true for the first. Gives the exit status in status when it ended.
bool WaitForWriting(pid_t pid, const test::ScratchDir& dir, const std::vector<std::string>& earlier,
                    int& status) {
    for (;;) {
        for (const std::string& temp : Temps(dir)) {
            if (std::find(earlier.begin(), earlier.end(), temp) == earlier.end()) {
                return true;
            }
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return false;
        }
        const timespec pause{0, 100000};
        nanosleep(&pause, nullptr);
    }
}

TEST(KilledWhileWriting, TheOutputIsAbsentOrWholeAndNoTemporarySurvivesTheNextRun) {
    test::ScratchDir dir;
    std::string error;
    // Uncompressed 16-bit RGB, so that writing it takes some milliseconds.
    const Image input = test::MakeImage(500, 400, 3, SampleType::UInt16, 77);
    ASSERT_TRUE(WriteImage(dir / "in.tif", FileFormat::Tiff, input, {}, error)) << error;
    const std::string out = dir / "out.tif";
    const std::vector<std::string> args = {
        "--plugin", VELNR_FAKE_PLUGIN, "--force", "--compression", "none", "-o",
        out,        dir / "in.tif"};

    // An uninterrupted run: the complete output, and how long its write takes.
    const pid_t first = StartVelnr(args);
    int status = 0;
    ASSERT_TRUE(WaitForWriting(first, dir, {}, status));
    const long writeStart = NowUs();
    waitpid(first, &status, 0);
    const long writeUs = std::max(1000L, NowUs() - writeStart);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<uint8_t> whole = test::ReadBytes(out);
    ASSERT_FALSE(whole.empty());

    std::mt19937 random(1206);
    int absent = 0, complete = 0, tempsLeft = 0, finished = 0;
    for (int round = 0; round < 100; ++round) {
        std::remove(out.c_str());
        const std::vector<std::string> earlier = Temps(dir);
        const pid_t pid = StartVelnr(args);
        if (WaitForWriting(pid, dir, earlier, status)) {
            const timespec pause{
                0, static_cast<long>(random() % static_cast<unsigned long>(writeUs)) * 1000};
            nanosleep(&pause, nullptr);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        finished += WIFEXITED(status) ? 1 : 0;
        if (PathExists(out)) {
            ASSERT_EQ(test::ReadBytes(out), whole) << "round " << round;
            ++complete;
        } else {
            ++absent;
        }
        tempsLeft += static_cast<int>(Temps(dir).size());
    }
    const pid_t last = StartVelnr(args);
    waitpid(last, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::ReadBytes(out), whole);
    EXPECT_TRUE(Temps(dir).empty());
    std::printf(
        "100 runs killed while writing: %d left no output, %d the whole output (%d had "
        "finished); %d temporaries left behind, none after the next run\n",
        absent, complete, finished, tempsLeft);
}

}  // namespace
}  // namespace velnr
