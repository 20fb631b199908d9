#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Platform.h"

namespace vel::platform {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThread, EntryRunsOnlyAfterResume) {
    static std::atomic<int> runs{0};
    runs = 0;
    WorkerThread thread;
    ASSERT_TRUE(thread.CreateSuspended([](void*) { runs.fetch_add(1); }, nullptr));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(runs.load(), 0);
    EXPECT_FALSE(thread.Join(10));  // still suspended
    thread.Resume();
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ(runs.load(), 1);
}

TEST(WorkerThread, JoinTimesOutOnALongThreadAndReleaseIsSafe) {
    static std::atomic<bool> release{false};
    static std::atomic<bool> ended{false};
    release = false;
    ended = false;
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended(
            [](void*) {
                while (!release.load()) {
                    std::this_thread::sleep_for(1ms);
                }
                ended = true;
            },
            nullptr));
        thread.Resume();
        EXPECT_FALSE(thread.Join(20));
    }  // handle released while the thread still runs
    release = true;
    for (int i = 0; i < 5000 && !ended.load(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(ended.load());
}

TEST(WorkerThread, NeverResumedThreadNeverRunsItsEntry) {
    static std::atomic<int> runs{0};
    runs = 0;
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended([](void*) { runs.fetch_add(1); }, nullptr));
    }
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(runs.load(), 0);
}

TEST(NamedEvent, SignalByNameReachesTheEventAndIsAutoReset) {
    auto event = NamedEvent::Create("test event A");
    ASSERT_TRUE(event);
    EXPECT_FALSE(event->Wait(0));
    EXPECT_TRUE(SignalNamedEvent("test event A"));
    EXPECT_TRUE(SignalNamedEvent("test event A"));  // repeated signals collapse into one
    EXPECT_TRUE(event->Wait(0));
    EXPECT_FALSE(event->Wait(0));
}

TEST(NamedEvent, SignalWithoutAnEventDoesNothing) {
    EXPECT_FALSE(SignalNamedEvent("no such event"));
    {
        auto event = NamedEvent::Create("short-lived");
        ASSERT_TRUE(event);
    }
    EXPECT_FALSE(SignalNamedEvent("short-lived"));
}

TEST(NamedEvent, SameNameSharesOneEvent) {
    auto a = NamedEvent::Create("shared name");
    auto b = NamedEvent::Create("shared name");
    ASSERT_TRUE(a && b);
    a->Set();
    EXPECT_TRUE(b->Wait(0));
    EXPECT_FALSE(a->Wait(0));
    b.reset();
    EXPECT_TRUE(SignalNamedEvent("shared name"));  // a still holds it
    EXPECT_TRUE(a->Wait(0));
}

TEST(WaitWithMessages, ReturnsOnSignalFromAnotherThread) {
    auto event = NamedEvent::Create("wait test");
    std::thread signaller([] {
        std::this_thread::sleep_for(30ms);
        SignalNamedEvent("wait test");
    });
    EXPECT_EQ(WaitOne(event.get(), kInfinite), 0);
    signaller.join();
}

TEST(WaitWithMessages, TimesOut) {
    auto event = NamedEvent::Create("timeout test");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitOne(event.get(), 40), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 35ms);
}

TEST(WaitWithMessages, SecondOfTwoEvents) {
    auto a = NamedEvent::Create("two A");
    auto b = NamedEvent::Create("two B");
    b->Set();
    NamedEvent* events[] = {a.get(), b.get()};
    EXPECT_EQ(WaitWithMessages(events, 2, 1000), 1);
}

#ifndef _WIN32
// A window backend's pump exists on POSIX only; Windows pumps the thread's own queue
// (tests/windows).
std::atomic<int> g_pumped{0};
std::atomic<int> g_quitAfter{-1};

bool CountingPump() {
    const int n = g_pumped.fetch_add(1) + 1;
    return g_quitAfter.load() < 0 || n < g_quitAfter.load();
}

TEST(WaitWithMessages, PumpsWhileWaitingAndReportsQuit) {
    auto event = NamedEvent::Create("pump test");
    g_pumped = 0;
    g_quitAfter = -1;
    SetMessagePump(CountingPump);
    EXPECT_EQ(WaitOne(event.get(), 100), kWaitTimeout);
    EXPECT_GE(g_pumped.load(), 3);  // the pump keeps running while nothing is signalled

    g_pumped = 0;
    g_quitAfter = 3;
    EXPECT_EQ(WaitOne(event.get(), kInfinite), kWaitQuit);
    EXPECT_EQ(g_pumped.load(), 3);
    SetMessagePump(nullptr);
}
#endif

TEST(Counter, IsMonotonicWithPositiveFrequency) {
    EXPECT_GT(PerformanceFrequency(), 0);
    const int64_t a = PerformanceCounter();
    std::this_thread::sleep_for(5ms);
    const int64_t b = PerformanceCounter();
    EXPECT_GE(b - a, PerformanceFrequency() / 1000 * 4);
}

}  // namespace
}  // namespace vel::platform
