// Allocation failure: this program replaces the global operator new so that the Nth
// allocation inside an engine job throws std::bad_alloc. Every N up to the job's allocation
// count is tried, with the tiles on the calling thread and on two workers; the exception must
// reach the caller with every engine buffer released and the planes as they were.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "TestImages.h"
#include "engine/Jobs.h"
#include "engine/TileScheduler.h"

namespace {

// Atomic: the engine's workers allocate too.
std::atomic<long> g_failAt = 0;  // 0: never fail
std::atomic<long> g_allocations = 0;
std::atomic<long> g_live = 0;

void* Allocate(std::size_t size) {
    if (g_failAt > 0 && ++g_allocations == g_failAt) {
        throw std::bad_alloc();
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) {
        throw std::bad_alloc();
    }
    ++g_live;
    return p;
}

void Release(void* p) noexcept {
    if (p) {
        --g_live;
        std::free(p);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace vel {
namespace {

// Runs job with failure injection at every allocation in turn and checks the outcome.
template <typename Job, typename Check>
void InjectEveryFailure(Job job, Check check) {
    g_allocations = 0;
    g_failAt = std::numeric_limits<long>::max();  // count only
    job();
    const long count = g_allocations;
    g_failAt = 0;
    ASSERT_GT(count, 5);
    for (long n = 1; n <= count; ++n) {
        const long liveBefore = g_live;
        g_allocations = 0;
        g_failAt = n;
        bool thrown = false;
        try {
            job();
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        g_failAt = 0;
        EXPECT_TRUE(thrown) << "allocation " << n << " of " << count;
        EXPECT_EQ(g_live, liveBefore) << "allocation " << n << " leaked";
        check(n);
    }
}

// 600 x 40: two tiles for the analysis and for the reduction, so two workers both run.
TEST(AllocationFailureTest, ReductionReleasesEverythingAndRestoresThePlanes) {
    const test::Planes input = test::MakeNoisyImage(600, 40, 31);
    for (const int32_t threads : {1, 2}) {
        SetEngineThreads(threads);
        for (const bool highQuality : {false, true}) {
            test::Planes planes = input;
            EngineSettings params = test::StartupSettings();
            params.highQuality = highQuality;
            params.lightCorrection = 5;
            params.darkCorrection = 7;
            InjectEveryFailure(
                [&] {
                    planes = input;  // a completed counting run changes them
                    RunNoiseReduction(planes.View(), params, {}, {});
                },
                [&](long n) {
                    ASSERT_TRUE(test::PlanesNear(planes, input, 1e-5f, true))
                        << "allocation " << n << " threads " << threads;
                });
        }
    }
    SetEngineThreads(0);
}

TEST(AllocationFailureTest, AnalysisReleasesEverything) {
    const test::Planes input = test::MakeNoisyImage(600, 40, 32);
    EngineSettings params = test::StartupSettings();
    for (const int32_t threads : {1, 2}) {
        SetEngineThreads(threads);
        InjectEveryFailure([&] { (void)RunNoiseAnalysis(input.View(), params, {}); }, [](long) {});
    }
    SetEngineThreads(0);
}

}  // namespace
}  // namespace vel
