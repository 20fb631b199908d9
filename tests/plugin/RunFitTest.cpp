// Pictures that cannot fit are refused before anything is allocated for them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/Memory.h"
#include "plugin/Instance.h"
#include "plugin/Run.h"
#include "tests/run/TestImages.h"
#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kNoBlockLimit = UINT64_MAX;
constexpr uint64_t kLargest64 = INT64_MAX;  // PTRDIFF_MAX of 64-bit systems

TEST(RunFit, RefusesOnlyWhatCertainlyCannotFit) {
    constexpr int32_t kMax = 0x7FFFFFFF;
    constexpr uint64_t k32BitBlock = 0x7FFFFFFF;  // PTRDIFF_MAX of 32-bit systems
    // 1000 x 1000 on 2 threads: 12,000,000 bytes of planes and 2 tiles' scratch, 16 MiB.
    constexpr uint64_t kMillionNeeds = 12'000'000 + 16 * kMiB;
    const struct {
        int32_t width, height, threads;
        uint64_t block;
        std::optional<uint64_t> available;
        bool refused;
    } cases[] = {
        {kMax, kMax, 2, kLargest64, std::nullopt, true},     // 12 * 2^62: more than 64 bits
        {46000, 46000, 2, kLargest64, std::nullopt, false},  // nothing known: the run tries
        {46000, 46000, 2, kLargest64, UINT64_MAX, false},
        {46000, 46000, 2, kLargest64, 0, true},
        {8256, 5504, 2, k32BitBlock, std::nullopt, false},   // 545 MB on 32-bit systems
        {16384, 11000, 2, k32BitBlock, std::nullopt, true},  // 2.16 GB
        {1000, 1000, 2, kNoBlockLimit, kMillionNeeds, false},
        {1000, 1000, 2, kNoBlockLimit, kMillionNeeds - 1, true},
        {1000, 1000, 0, kNoBlockLimit, 12'000'000 + 8 * kMiB - 1, true},  // one thread at least
        // 4 tiles at least keep 4 of 9 threads busy.
        {1000, 1000, 9, kNoBlockLimit, kMillionNeeds + 16 * kMiB - 1, true},
        {1000, 1000, 9, kNoBlockLimit, kMillionNeeds + 16 * kMiB, false},
        {1000, 1000, 1, kNoBlockLimit, 12'000'000 + 8 * kMiB, false},
        // One tile keeps one thread busy, with scratch of the picture's size only.
        {10, 10, 8, kNoBlockLimit, 1200 + 3200, false},
        {10, 10, 8, kNoBlockLimit, 1200 + 3199, true},
        {1, 1, 1, 12, 12 + 32, false},
        {1, 1, 1, 11, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " on " << c.threads
                                          << ", available " << (c.available ? *c.available : 0));
        EXPECT_EQ(RunCannotFit(c.width, c.height, c.threads, c.block, c.available), c.refused);
    }
}

// Each allocation of a silent run failing in turn: "not possible" with the host's buffer as it
// was and nothing left allocated, or, where a failure is survived, the run's whole result.
TEST(RunFit, AnyAllocationFailingLeavesTheHostBufferUntouched) {
    const int32_t w = 600, h = 40;  // two tiles
    const auto host = test::NoisyImage(w, h, 3);
    PluginInstance instance;
    auto done = host;
    test::FailAllocationNumber(0);
    ASSERT_EQ(OpenPluginImpl(instance, 1, w, h, done.data(), nullptr, nullptr), kRunCompleted);
    const long count = test::FailAllocationNumber(-1);
    long failed = 0;
    for (long n = 1; n <= count; ++n) {
        auto pixels = host;
        const long live = test::LiveAllocations();
        test::FailAllocationNumber(n);
        const int32_t result = OpenPluginImpl(instance, 1, w, h, pixels.data(), nullptr, nullptr);
        test::FailAllocationNumber(-1);
        failed += result == kRunNotPossible ? 1 : 0;
        EXPECT_TRUE((result == kRunNotPossible && pixels == host) ||
                    (result == kRunCompleted && pixels == done))
            << "allocation " << n << " of " << count << ": " << result;
        EXPECT_EQ(test::LiveAllocations(), live) << n;
    }
    EXPECT_GT(failed, count / 2);
}

#ifndef _WIN32
// Under an address-space limit: what is left is seen, a picture beyond it is refused without an
// allocation of a MiB or more and without a look at the host's buffer, a small one completes.
TEST(RunFit, AddressSpaceLimitRefusesBeforeAllocating) {
    const pid_t pid = fork();
    if (pid == 0) {
        rlimit before{};
        const bool unbounded =
            getrlimit(RLIMIT_AS, &before) == 0 && before.rlim_cur == RLIM_INFINITY;
        const auto unlimited = platform::AddressSpaceAvailable();
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        unsigned long long pages = 0;
        if (!statm || std::fscanf(statm, "%llu", &pages) != 1) {
            _exit(3);
        }
        std::fclose(statm);
        const rlim_t cap =
            static_cast<rlim_t>(pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + 64 * kMiB);
        const rlimit limit{cap, RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(3);
        }
        const auto available = platform::AddressSpaceAvailable();
        PluginInstance instance;
        int failed = (unbounded && unlimited) || !available || *available > 64 * kMiB ? 1 : 0;
        {
            const test::FailLargeAllocations guard(kMiB);
            // 96 MiB of planes; the stand-in buffer would be overrun by any read or write.
            std::vector<float> standIn(12, 0.5f);
            failed |= OpenPluginImpl(instance, 1, 4096, 2048, standIn.data(), nullptr, nullptr) !=
                              kRunNotPossible
                          ? 2
                          : 0;
            failed |= guard.Refused() != 0 || standIn != std::vector<float>(12, 0.5f) ? 4 : 0;
        }
        auto small = test::NoisyImage(64, 48, 5);
        failed |=
            OpenPluginImpl(instance, 1, 64, 48, small.data(), nullptr, nullptr) != kRunCompleted
                ? 8
                : 0;
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    // 1: availability, 2: not refused, 4: allocated or touched the buffer, 8: small run failed.
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace vel
