// The failing allocator makes the Nth allocation of an engine job throw std::bad_alloc: it must
// reach the caller with every buffer released, for every N, with the tiles on the calling
// thread and on two workers. (The planes are the job's: a failure may leave them part written.)

#include <gtest/gtest.h>

#include <new>

#include "TestImages.h"
#include "engine/Jobs.h"
#include "tests/support/FailingAllocator.h"

namespace vel {
namespace {

// 600 x 40: two tiles for the analysis and for the reduction, so two workers both run. Each
// job (both kinds, with tone corrections, on one thread and two) fails at every allocation in turn.
TEST(AllocationFailureTest, JobsReleaseEverything) {
    const test::Planes input = test::MakeNoisyImage(600, 40, 31);
    test::Planes planes = input;
    for (int c = 0; c < 8; ++c) {
        const bool twoThreads = c & 1, highQuality = c & 2, analysis = c & 4;
        const RunContext context = test::OnThreads(twoThreads ? 2 : 1);
        const EngineSettings settings{-2, 1, 6, 12, 5, 7, highQuality};
        const auto job = [&] {
            planes = input;  // a completed counting run changes them
            analysis ? (void)RunNoiseAnalysis(planes.View(), settings, context)
                     : RunNoiseReduction(planes.View(), settings, {}, context);
        };
        test::FailAllocationNumber(0);
        job();
        const long count = test::FailAllocationNumber(-1);
        ASSERT_GT(count, 5);
        for (long n = 1; n <= count; ++n) {
            const long liveBefore = test::LiveAllocations();
            test::FailAllocationNumber(n);
            EXPECT_THROW(job(), std::bad_alloc);
            test::FailAllocationNumber(-1);
            ASSERT_EQ(test::LiveAllocations(), liveBefore)
                << "allocation " << n << " of " << count << " case " << c;
        }
    }
}

}  // namespace
}  // namespace vel
