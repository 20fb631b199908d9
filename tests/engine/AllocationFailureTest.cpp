// This program replaces the global operator new so that the Nth allocation of an engine job
// throws std::bad_alloc: it must reach the caller with every buffer released and the planes as
// they were, for every N, with the tiles on the calling thread and on two workers.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "TestImages.h"
#include "engine/Jobs.h"

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

// 600 x 40: two tiles for the analysis and for the reduction, so two workers both run. Each
// job (both kinds, with tone corrections, on one thread and two) fails at every allocation in turn.
TEST(AllocationFailureTest, JobsReleaseEverythingAndRestoreThePlanes) {
    const test::Planes input = test::MakeNoisyImage(600, 40, 31);
    test::Planes planes = input;
    for (int c = 0; c < 8; ++c) {
        const bool twoThreads = c & 1, highQuality = c & 2, analysis = c & 4;
        const test::EngineThreadsScope scope(twoThreads ? 2 : 1);
        const EngineSettings settings{-2, 1, 6, 12, 5, 7, highQuality};
        const auto job = [&] {
            planes = input;  // a completed counting run changes them
            analysis ? (void)RunNoiseAnalysis(planes.View(), settings, {})
                     : RunNoiseReduction(planes.View(), settings, {}, {});
        };
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
            EXPECT_THROW(job(), std::bad_alloc);
            g_failAt = 0;
            ASSERT_TRUE(g_live == liveBefore && test::PlanesNear(planes, input, 1e-5f))
                << "allocation " << n << " of " << count << " case " << c;
        }
    }
}

}  // namespace
}  // namespace vel
