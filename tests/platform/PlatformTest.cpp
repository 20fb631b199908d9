// The platform services with one set of expectations for both systems (built into the Linux
// and the Windows test programs): suspended threads, named events, the waits and the web
// link texts. What only one system has is in WebLinkPosixTest and
// tests/windows.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/WebLink.h"

namespace vel::platform {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThread, RunsOnlyAfterResumeOnceSeesEarlierWritesAndJoinsWithTimeOut) {
    struct Shared {
        int before = 0, seen = -1, runs = 0;
    } shared;
    WorkerThread thread;
    EXPECT_TRUE(thread.Join(0));  // nothing to wait for
    const auto body = [](void* arg) {
        auto* s = static_cast<Shared*>(arg);
        s->seen = s->before;
        ++s->runs;
    };
    ASSERT_TRUE(thread.CreateSuspended(body, &shared));
    EXPECT_TRUE(thread.Started());
    EXPECT_FALSE(thread.CreateSuspended(body, &shared));  // one thread per object
    shared.before = 42;                                   // written while suspended
    EXPECT_FALSE(thread.Join(50));                        // suspended threads do not end
    thread.Resume();
    thread.Resume();  // a second resume must not run anything twice
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ(shared.seen, 42);
    EXPECT_EQ(shared.runs, 1);
}

TEST(NamedEvent, AutoResetSharedByNameCollapseWakeOneWaiterAndNeedAnOpenEvent) {
    EXPECT_FALSE(SignalNamedEvent("velnr test never created"));
    {
        auto a = NamedEvent::Create("velnr test A"), b = NamedEvent::Create("velnr test A");
        ASSERT_TRUE(a && b);
        EXPECT_FALSE(a->Wait(0));
        EXPECT_TRUE(SignalNamedEvent("velnr test A"));
        a->Set();  // signals do not add up
        EXPECT_TRUE(b->Wait(0));
        EXPECT_FALSE(a->Wait(0));
        std::atomic<int> woken{0};
        auto waiter = [&](NamedEvent* e) { woken.fetch_add(e->Wait(1500) ? 1 : 0); };
        std::thread wa(waiter, a.get()), wb(waiter, b.get());
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(SignalNamedEvent("velnr test A"));
        wa.join();
        wb.join();
        EXPECT_EQ(woken.load(), 1);
        b.reset();  // a still holds it
        EXPECT_TRUE(SignalNamedEvent("velnr test A"));
        EXPECT_TRUE(a->Wait(0));
    }
    EXPECT_FALSE(SignalNamedEvent("velnr test A"));  // the last holder is gone
}

TEST(Wait, ReturnsTheIndexOfTheSignalledEventOrTimesOut) {
    auto a = NamedEvent::Create("velnr test index A"), b = NamedEvent::Create("velnr test index B"),
         c = NamedEvent::Create("velnr test index C");
    ASSERT_TRUE(a && b && c);
    NamedEvent* events[] = {a.get(), b.get(), c.get()};
    c->Set();
    EXPECT_EQ(WaitWithMessages(events, 3, 1000), 2);
    EXPECT_FALSE(c->Wait(0));  // the wait consumed the signal
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitWithMessages(events, 3, 60), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);  // tick granularity
    std::thread signaller([] {
        std::this_thread::sleep_for(30ms);
        SignalNamedEvent("velnr test index B");
    });
    EXPECT_EQ(WaitWithMessages(events, 3, kInfinite), 1);
    signaller.join();
    EXPECT_LT(WaitWithMessages(nullptr, 1, kInfinite), kWaitQuit);
    EXPECT_LT(WaitWithMessages(events, 0, kInfinite), kWaitQuit);
}

const std::string kAddress = "https://example.org/vel";

// The ".htm" association's command is cut at the quoted placeholder (or else the bare one;
// the quoted form wins), whatever follows goes too, and a blank and the address are appended.
TEST(WebLink, AssociationCommand) {
    const std::pair<const char*, std::string> cases[] = {
        {"\"C:\\Browser\\b.exe\" -osint -url \"%1\"", "\"C:\\Browser\\b.exe\" -osint -url  "},
        {"b.exe \"%1\" -new", "b.exe  "},
        {"b.exe -url %1 -x", "b.exe -url  "},
        {"b.exe %1 \"%1\"", "b.exe %1  "},
        {"\"C:\\b.exe\" -nohome", "\"C:\\b.exe\" -nohome "},
        {"", " "}};
    for (const auto& [command, start] : cases) {
        EXPECT_EQ(BuildAssociationCommand(command, kAddress), start + kAddress) << command;
    }
}

// A desktop entry's Exec line: the address code replaced (once), other codes dropped,
// arguments unquoted, the address appended without a code; broken lines give nothing.
TEST(WebLink, DesktopCommand) {
    using Args = std::vector<std::string>;
    const std::pair<const char*, Args> cases[] = {
        {"firefox-esr %u", {"firefox-esr", kAddress}},
        {"browser --new-window %U --icon %i %c %k",
         {"browser", "--new-window", kAddress, "--icon"}},
        {"b --url=%u %f", {"b", std::string("--url=") + kAddress}},
        {"b 100%% %F", {"b", "100%", kAddress}},
        {"\"/opt/my browser/b\" -a  \"x \\\"y\\\" \\$z\"",
         {"/opt/my browser/b", "-a", "x \"y\" $z", kAddress}},
        {"", {}},
        {"\"unterminated %u", {}},
        {"\"bad \\q escape\" %u", {}},
        {"b \"ends in escape\\", {}}};
    for (const auto& [line, args] : cases) {
        EXPECT_EQ(BuildDesktopCommand(line, kAddress), args) << line;
    }
}

TEST(WebLink, ErrorTexts) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {4, "Unknown Error (4) occurred."},
        {26, "A sharing violation occurred. "},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
         "processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {-2147483647 - 1, "Unknown Error (-2147483648) occurred."}};
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(WebLinkErrorText(code), text);
        EXPECT_EQ(WebLinkFailureMessage(code), std::string("Unable to open hyperlink:\n\n") + text);
    }
    EXPECT_TRUE(!WebAddressOpened(0) && !WebAddressOpened(32) && WebAddressOpened(33));
}

#ifndef _WIN32
// A window backend's pump exists on POSIX only; Windows pumps the thread's own queue.
std::atomic<int> g_pumped{0}, g_quitAfter{-1};
TEST(Wait, PumpsWhileWaitingAndReportsQuit) {
    auto event = NamedEvent::Create("pump test");
    SetMessagePump([] {
        const int n = g_pumped.fetch_add(1) + 1;
        return g_quitAfter.load() < 0 || n < g_quitAfter.load();
    });
    EXPECT_EQ(WaitOne(event.get(), 100), kWaitTimeout);
    EXPECT_GE(g_pumped.load(), 3);  // the pump keeps running while nothing is signalled
    g_pumped = 0;
    g_quitAfter = 3;
    EXPECT_EQ(WaitOne(event.get(), kInfinite), kWaitQuit);
    EXPECT_EQ(g_pumped.load(), 3);
    SetMessagePump(nullptr);
}
#endif

}  // namespace
}  // namespace vel::platform
