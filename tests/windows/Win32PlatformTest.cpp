// The Win32 platform services against the real system calls: suspended threads, kernel named
// events (also across processes), the message-pumping wait with a real window and the
// thread's own queue, the counter.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel::platform {
namespace {

using namespace std::chrono_literals;

// What reached the counting window's procedure.
struct WindowCounts {
    int user = 0;
    int keyDown = 0;
    int chars = 0;
};

// A message-only window that counts what reaches its window procedure.
class CountingWindow {
  public:
    CountingWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CountingWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelnrCountingWindow";
        RegisterClassW(&wc);  // fails harmlessly when already registered
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
        counts_ = WindowCounts{};
    }
    ~CountingWindow() { DestroyWindow(hwnd_); }
    CountingWindow(const CountingWindow&) = delete;
    CountingWindow& operator=(const CountingWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

    static WindowCounts& counts() { return counts_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_USER + 7) {
            ++counts_.user;
            return 0;
        }
        if (msg == WM_KEYDOWN) {
            ++counts_.keyDown;
            return 0;
        }
        if (msg == WM_CHAR) {
            ++counts_.chars;
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    static inline WindowCounts counts_{};
    HWND hwnd_ = nullptr;
};

// Leaves no message behind for the next test.
void DrainQueue() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(Win32Thread, RunsOnlyAfterResumeAndJoinsWithTimeOut) {
    static std::atomic<int> runs;
    runs = 0;
    WorkerThread thread;
    EXPECT_FALSE(thread.Started());
    EXPECT_TRUE(thread.Join(0));  // nothing to wait for
    ASSERT_TRUE(thread.CreateSuspended([](void*) { runs.fetch_add(1); }, nullptr));
    EXPECT_TRUE(thread.Started());
    EXPECT_FALSE(thread.CreateSuspended([](void*) {}, nullptr));  // one thread per object
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(runs.load(), 0);
    EXPECT_FALSE(thread.Join(20));  // suspended threads do not end
    thread.Resume();
    thread.Resume();  // a second resume must not run anything twice
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ(runs.load(), 1);
}

TEST(Win32Thread, PassesItsArgumentAndSeesWritesMadeBeforeResume) {
    struct Shared {
        int before = 0;
        int seen = -1;
    } shared;
    WorkerThread thread;
    ASSERT_TRUE(thread.CreateSuspended(
        [](void* arg) {
            auto* s = static_cast<Shared*>(arg);
            s->seen = s->before;
        },
        &shared));
    shared.before = 42;  // written while the thread exists but is suspended
    thread.Resume();
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(shared.seen, 42);
}

TEST(Win32Thread, ReleasedBeforeResumeNeverRunsAndEnds) {
    static std::atomic<int> runs;
    runs = 0;
    const DWORD threadsBefore = CountThreadsOfThisProcess();
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended([](void*) { runs.fetch_add(1); }, nullptr));
        EXPECT_EQ(CountThreadsOfThisProcess(), threadsBefore + 1);
    }
    // The abandoned thread must end, not stay suspended for ever.
    DWORD threadsAfter = 0;
    for (int i = 0; i < 500; ++i) {
        threadsAfter = CountThreadsOfThisProcess();
        if (threadsAfter == threadsBefore) {
            break;
        }
        Sleep(10);
    }
    EXPECT_EQ(threadsAfter, threadsBefore);
    EXPECT_EQ(runs.load(), 0);
}

TEST(Win32Event, CreatedNotSignalledAndAutoReset) {
    auto event = NamedEvent::Create("velnr test auto-reset");
    ASSERT_TRUE(event);
    EXPECT_FALSE(event->Wait(0));
    event->Set();
    event->Set();  // signals do not add up
    EXPECT_TRUE(event->Wait(0));
    EXPECT_FALSE(event->Wait(0));
}

TEST(Win32Event, OneSignalWakesOneWaiter) {
    auto event = NamedEvent::Create("velnr test one waiter");
    ASSERT_TRUE(event);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (event->Wait(1500)) {
            woken.fetch_add(1);
        }
    };
    std::thread a(waiter);
    std::thread b(waiter);
    Sleep(100);
    ASSERT_TRUE(SignalNamedEvent("velnr test one waiter"));
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(Win32Event, SignalByNameNeedsAnOpenEvent) {
    EXPECT_FALSE(SignalNamedEvent("velnr test never created"));
    {
        auto event = NamedEvent::Create("velnr test closed");
        ASSERT_TRUE(event);
        EXPECT_TRUE(SignalNamedEvent("velnr test closed"));
        EXPECT_TRUE(event->Wait(0));
    }
    // The last handle is closed: the kernel object is gone with it.
    EXPECT_FALSE(SignalNamedEvent("velnr test closed"));
}

TEST(Win32Event, IsTheKernelObjectOfThatName) {
    // Made by the system call itself, as another module or process would.
    HANDLE raw = CreateEventA(nullptr, FALSE, FALSE, "velnr test raw");
    ASSERT_NE(raw, nullptr);
    EXPECT_TRUE(SignalNamedEvent("velnr test raw"));
    EXPECT_EQ(WaitForSingleObject(raw, 0), WAIT_OBJECT_0);
    auto event = NamedEvent::Create("velnr test raw");  // opens the existing object
    ASSERT_TRUE(event);
    SetEvent(raw);
    EXPECT_TRUE(event->Wait(0));
    CloseHandle(raw);
}

TEST(Win32Event, SignalledFromAnotherProcess) {
    auto event = NamedEvent::Create("velnr test other process");
    ASSERT_TRUE(event);
    ProbeProcess probe({"signal", "velnr test other process"});
    ASSERT_TRUE(probe.Started());
    EXPECT_EQ(WaitOne(event.get(), 20000), 0);
    EXPECT_EQ(probe.Finish(20000), 0u);
}

TEST(Win32Event, UnusableNameGivesNoEvent) {
    // A backslash asks for a kernel namespace that does not exist.
    EXPECT_EQ(NamedEvent::Create("no such namespace\\velnr"), nullptr);
}

TEST(Win32Wait, ReturnsOnASignalFromAnotherThread) {
    DrainQueue();
    auto event = NamedEvent::Create("velnr test wait signal");
    ASSERT_TRUE(event);
    std::thread signaller([] {
        Sleep(50);
        SignalNamedEvent("velnr test wait signal");
    });
    EXPECT_EQ(WaitOne(event.get(), kInfinite), 0);
    signaller.join();
}

TEST(Win32Wait, ReturnsTheIndexOfTheSignalledEvent) {
    DrainQueue();
    auto a = NamedEvent::Create("velnr test index A");
    auto b = NamedEvent::Create("velnr test index B");
    auto c = NamedEvent::Create("velnr test index C");
    ASSERT_TRUE(a && b && c);
    NamedEvent* events[] = {a.get(), b.get(), c.get()};
    c->Set();
    EXPECT_EQ(WaitWithMessages(events, 3, 1000), 2);
    EXPECT_FALSE(c->Wait(0));  // the wait consumed the signal
    EXPECT_EQ(WaitWithMessages(events, 3, 10), kWaitTimeout);
}

TEST(Win32Wait, DispatchesPostedMessagesAndKeepsWaiting) {
    DrainQueue();
    CountingWindow window;
    ASSERT_NE(window.hwnd(), nullptr);
    auto event = NamedEvent::Create("velnr test wait messages");
    ASSERT_TRUE(event);
    const HWND hwnd = window.hwnd();
    PostMessageW(hwnd, WM_USER + 7, 0, 0);  // already waiting when the wait starts
    std::thread poster([hwnd] {
        for (int i = 0; i < 5; ++i) {
            Sleep(20);
            PostMessageW(hwnd, WM_USER + 7, 0, 0);
        }
        Sleep(50);
        SignalNamedEvent("velnr test wait messages");
    });
    EXPECT_EQ(WaitOne(event.get(), 20000), 0);  // messages do not end the wait
    poster.join();
    EXPECT_EQ(CountingWindow::counts().user, 6);
}

TEST(Win32Wait, PendingMessagesAreDispatchedEvenWhenTheEventIsSet) {
    DrainQueue();
    CountingWindow window;
    auto event = NamedEvent::Create("velnr test wait pending");
    ASSERT_TRUE(event);
    PostMessageW(window.hwnd(), WM_USER + 7, 0, 0);
    PostMessageW(window.hwnd(), WM_USER + 7, 0, 0);
    event->Set();
    EXPECT_EQ(WaitOne(event.get(), 1000), 0);
    EXPECT_EQ(CountingWindow::counts().user, 2);
}

TEST(Win32Wait, KeyStrokesAreNotTranslated) {
    DrainQueue();
    CountingWindow window;
    auto event = NamedEvent::Create("velnr test wait keys");
    ASSERT_TRUE(event);
    // Escape and 'A': with translation these would also produce WM_CHAR.
    PostMessageW(window.hwnd(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(window.hwnd(), WM_KEYDOWN, 'A', 0x001E0001);
    EXPECT_EQ(WaitOne(event.get(), 50), kWaitTimeout);
    EXPECT_EQ(CountingWindow::counts().keyDown, 2);
    EXPECT_EQ(CountingWindow::counts().chars, 0);
}

// A dialog with an OK and a Cancel button, built in memory; records the commands it gets.
class CommandDialog {
  public:
    CommandDialog() {
        // DLGTEMPLATE, then menu, class and title (empty), then two DLGITEMTEMPLATEs, each
        // DWORD-aligned, with the button class atom 0x0080, a title and no creation data.
        words_.assign(64, 0);
        auto* dlg = reinterpret_cast<DLGTEMPLATE*>(words_.data());
        dlg->style = WS_POPUP | DS_MODALFRAME;
        dlg->cdit = 2;
        dlg->cx = 100;
        dlg->cy = 50;
        size_t w = sizeof(DLGTEMPLATE) / 2 + 3;
        for (const WORD id : {static_cast<WORD>(IDOK), static_cast<WORD>(IDCANCEL)}) {
            w = (w + 1) & ~static_cast<size_t>(1);
            auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(&words_[w]);
            item->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                          (id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            item->x = id == IDOK ? 5 : 55;
            item->y = 20;
            item->cx = 40;
            item->cy = 14;
            item->id = id;
            w += sizeof(DLGITEMTEMPLATE) / 2;
            words_[w++] = 0xFFFF;
            words_[w++] = 0x0080;
            words_[w++] = 0;  // no title
            words_[w++] = 0;  // no creation data
        }
        commands_ = 0;
        hwnd_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           reinterpret_cast<DLGTEMPLATE*>(words_.data()), nullptr,
                                           &CommandDialog::Proc, 0);
    }
    ~CommandDialog() {
        if (hwnd_) {
            DestroyWindow(hwnd_);
        }
    }
    CommandDialog(const CommandDialog&) = delete;
    CommandDialog& operator=(const CommandDialog&) = delete;
    HWND hwnd() const { return hwnd_; }
    static int commands() { return commands_; }

  private:
    static INT_PTR CALLBACK Proc(HWND, UINT msg, WPARAM, LPARAM) {
        if (msg == WM_COMMAND) {
            ++commands_;
            return TRUE;
        }
        return msg == WM_INITDIALOG ? TRUE : FALSE;
    }
    std::vector<WORD> words_;
    HWND hwnd_ = nullptr;
    static inline int commands_ = 0;
};

TEST(Win32Wait, EscapeAndEnterNeverBecomeDialogCommands) {
    DrainQueue();
    CommandDialog dialog;
    // Under Wine a dialog needs a display: tools/windows-test.sh runs the suite in Xvfb.
    ASSERT_NE(dialog.hwnd(), nullptr) << "no dialog (error " << GetLastError() << ")";
    const HWND cancel = GetDlgItem(dialog.hwnd(), IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    // Dialog keyboard handling would turn these into IDCANCEL and IDOK.
    for (const WPARAM key : {static_cast<WPARAM>(VK_ESCAPE), static_cast<WPARAM>(VK_RETURN)}) {
        PostMessageW(cancel, WM_KEYDOWN, key, 0x00010001);
        PostMessageW(cancel, WM_KEYUP, key, static_cast<LPARAM>(0xC0010001u));
    }
    auto event = NamedEvent::Create("velnr test wait dialog keys");
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitOne(event.get(), 100), kWaitTimeout);
    EXPECT_EQ(CommandDialog::commands(), 0);

    // The same keys through the dialog manager do give commands: the test can see them.
    MSG msg{};
    msg.hwnd = cancel;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_ESCAPE;
    msg.lParam = 0x00010001;
    IsDialogMessageW(dialog.hwnd(), &msg);
    EXPECT_GE(CommandDialog::commands(), 1);
    DrainQueue();
}

TEST(Win32Wait, QuitMessageEndsTheWaitAndIsConsumed) {
    DrainQueue();
    auto event = NamedEvent::Create("velnr test wait quit");
    ASSERT_TRUE(event);
    PostQuitMessage(3);
    EXPECT_EQ(WaitOne(event.get(), kInfinite), kWaitQuit);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    // The event is untouched: a signal after the quit is still there.
    event->Set();
    EXPECT_EQ(WaitOne(event.get(), 1000), 0);
}

TEST(Win32Wait, QuitPostedWhileWaiting) {
    DrainQueue();
    auto event = NamedEvent::Create("velnr test wait quit later");
    ASSERT_TRUE(event);
    const DWORD self = GetCurrentThreadId();
    std::thread poster([self] {
        Sleep(50);
        PostThreadMessageW(self, WM_QUIT, 0, 0);
    });
    EXPECT_EQ(WaitOne(event.get(), 20000), kWaitQuit);
    poster.join();
}

TEST(Win32Wait, TimesOutAndABusyQueueCannotHoldItOpen) {
    DrainQueue();
    CountingWindow window;
    auto event = NamedEvent::Create("velnr test wait time-out");
    ASSERT_TRUE(event);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(WaitOne(event.get(), 60), kWaitTimeout);
    EXPECT_GE(GetTickCount64() - start, 50u);  // tick granularity allows a little less

    std::atomic<bool> stop{false};
    const HWND hwnd = window.hwnd();
    std::thread poster([&] {
        while (!stop.load()) {
            PostMessageW(hwnd, WM_USER + 7, 0, 0);
            Sleep(1);
        }
    });
    const ULONGLONG busyStart = GetTickCount64();
    EXPECT_EQ(WaitOne(event.get(), 100), kWaitTimeout);
    const ULONGLONG busy = GetTickCount64() - busyStart;
    stop = true;
    poster.join();
    EXPECT_LT(busy, 5000u);
    EXPECT_GT(CountingWindow::counts().user, 0);
    DrainQueue();
}

TEST(Win32Wait, BadArgumentsFailWithoutWaiting) {
    auto event = NamedEvent::Create("velnr test wait bad");
    ASSERT_TRUE(event);
    NamedEvent* none[] = {nullptr};
    EXPECT_LT(WaitWithMessages(none, 1, kInfinite), kWaitQuit);
    EXPECT_LT(WaitWithMessages(nullptr, 1, kInfinite), kWaitQuit);
    NamedEvent* one[] = {event.get()};
    EXPECT_LT(WaitWithMessages(one, 0, kInfinite), kWaitQuit);
}

TEST(Win32Counter, CountsAtItsFrequency) {
    const int64_t frequency = PerformanceFrequency();
    ASSERT_GT(frequency, 0);
    const int64_t a = PerformanceCounter();
    const ULONGLONG t0 = GetTickCount64();
    Sleep(200);
    const int64_t b = PerformanceCounter();
    const ULONGLONG ms = GetTickCount64() - t0;
    const double measuredMs = static_cast<double>(b - a) * 1000.0 / static_cast<double>(frequency);
    EXPECT_GT(measuredMs, 150.0);
    EXPECT_NEAR(measuredMs, static_cast<double>(ms), 50.0);
}

}  // namespace
}  // namespace vel::platform
