// What only the Win32 platform services have (the shared expectations are in
// tests/platform): abandoned threads end, events are kernel objects (also across processes),
// and the wait pumps the thread's own queue with a real window and dialog.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel::platform {
namespace {

// A message-only window that counts the messages reaching its procedure, and a dialog with an
// OK and a Cancel button that counts its commands.
struct Counts {
    int user = 0, keyDown = 0, chars = 0, commands = 0;
} g_counts;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_counts.user += msg == WM_USER + 7;
    g_counts.keyDown += msg == WM_KEYDOWN;
    g_counts.chars += msg == WM_CHAR;
    return msg == WM_USER + 7 || msg == WM_KEYDOWN || msg == WM_CHAR
               ? 0
               : DefWindowProcW(hwnd, msg, wp, lp);
}

INT_PTR CALLBACK DialogProc(HWND, UINT msg, WPARAM, LPARAM) {
    g_counts.commands += msg == WM_COMMAND;
    return msg == WM_COMMAND || msg == WM_INITDIALOG;
}

class Win32Wait : public ::testing::Test {
  protected:
    void SetUp() override {
        DrainQueue();
        g_counts = Counts{};
        WNDCLASSW wc{};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelnrCountingWindow";
        RegisterClassW(&wc);  // fails harmlessly when already registered
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        event_ = NamedEvent::Create("velnr test wait");
        ASSERT_TRUE(event_);
    }
    void TearDown() override {
        DestroyWindow(window_);
        DrainQueue();
    }
    // Leaves no message behind for the next test.
    static void DrainQueue() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { PostMessageW(window_, msg, wp, lp); }
    HWND window_ = nullptr;
    std::unique_ptr<NamedEvent> event_;
};

TEST(Win32Thread, ReleasedBeforeResumeEndsInsteadOfStayingSuspended) {
    const DWORD before = CountThreadsOfThisProcess();
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended([](void*) {}, nullptr));
        EXPECT_EQ(CountThreadsOfThisProcess(), before + 1);
    }
    DWORD after = 0;
    for (int i = 0; i < 500 && (after = CountThreadsOfThisProcess()) != before; ++i) {
        Sleep(10);
    }
    EXPECT_EQ(after, before);
}

TEST(Win32Event, IsTheKernelObjectOfThatNameAlsoForAnotherProcess) {
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
    ProbeProcess probe({"signal", "velnr test raw"});
    ASSERT_TRUE(probe.Started());
    EXPECT_EQ(WaitOne(event.get(), 20000), 0);
    EXPECT_EQ(probe.Finish(20000), 0u);
    // A backslash asks for a kernel namespace that does not exist.
    EXPECT_EQ(NamedEvent::Create("no such namespace\\velnr"), nullptr);
    NamedEvent* none[] = {nullptr};
    EXPECT_LT(WaitWithMessages(none, 1, kInfinite), kWaitQuit);
}

TEST_F(Win32Wait, DispatchesPostedMessagesUntilTheEventEvenWhenItIsAlreadySet) {
    Post(WM_USER + 7);  // already waiting when the wait starts
    const HWND hwnd = window_;
    std::thread poster([hwnd] {
        for (int i = 0; i < 5; ++i) {
            Sleep(20);
            PostMessageW(hwnd, WM_USER + 7, 0, 0);
        }
        Sleep(50);
        SignalNamedEvent("velnr test wait");
    });
    EXPECT_EQ(WaitOne(event_.get(), 20000), 0);  // messages do not end the wait
    poster.join();
    EXPECT_EQ(g_counts.user, 6);
    Post(WM_USER + 7);
    Post(WM_USER + 7);
    event_->Set();
    EXPECT_EQ(WaitOne(event_.get(), 1000), 0);
    EXPECT_EQ(g_counts.user, 8);
}

TEST_F(Win32Wait, KeyStrokesAreNeitherTranslatedNorDialogCommands) {
    // Escape and 'A': with translation these would also produce WM_CHAR.
    Post(WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    Post(WM_KEYDOWN, 'A', 0x001E0001);
    EXPECT_EQ(WaitOne(event_.get(), 50), kWaitTimeout);
    EXPECT_EQ(g_counts.keyDown, 2);
    EXPECT_EQ(g_counts.chars, 0);

    // DLGTEMPLATE, then menu, class and title (empty), then two DLGITEMTEMPLATEs, each
    // DWORD-aligned, with the button class atom 0x0080, no title and no creation data.
    std::vector<WORD> words(64, 0);
    auto* dlg = reinterpret_cast<DLGTEMPLATE*>(words.data());
    dlg->style = WS_POPUP | DS_MODALFRAME;
    dlg->cdit = 2;
    dlg->cx = 100;
    dlg->cy = 50;
    size_t w = sizeof(DLGTEMPLATE) / 2 + 3;
    for (const WORD id : {static_cast<WORD>(IDOK), static_cast<WORD>(IDCANCEL)}) {
        w = (w + 1) & ~static_cast<size_t>(1);
        auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(&words[w]);
        item->style =
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        item->x = id == IDOK ? 5 : 55;
        item->y = 20;
        item->cx = 40;
        item->cy = 14;
        item->id = id;
        w += sizeof(DLGITEMTEMPLATE) / 2;
        words[w++] = 0xFFFF;
        words[w++] = 0x0080;
        w += 2;
    }
    // Under Wine a dialog needs a display: tools/windows-test.sh runs the suite in Xvfb.
    const HWND dialog =
        CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlg, nullptr, DialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "no dialog (error " << GetLastError() << ")";
    const HWND cancel = GetDlgItem(dialog, IDCANCEL);
    // Dialog keyboard handling would turn these into IDCANCEL and IDOK.
    for (const WPARAM key : {static_cast<WPARAM>(VK_ESCAPE), static_cast<WPARAM>(VK_RETURN)}) {
        PostMessageW(cancel, WM_KEYDOWN, key, 0x00010001);
        PostMessageW(cancel, WM_KEYUP, key, static_cast<LPARAM>(0xC0010001u));
    }
    EXPECT_EQ(WaitOne(event_.get(), 100), kWaitTimeout);
    EXPECT_EQ(g_counts.commands, 0);
    // The same keys through the dialog manager do give commands: the test can see them.
    MSG msg{};
    msg.hwnd = cancel;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_ESCAPE;
    msg.lParam = 0x00010001;
    IsDialogMessageW(dialog, &msg);
    EXPECT_GE(g_counts.commands, 1);
    DestroyWindow(dialog);
}

TEST_F(Win32Wait, AQuitMessageEndsTheWaitAndIsConsumed) {
    PostQuitMessage(3);
    EXPECT_EQ(WaitOne(event_.get(), kInfinite), kWaitQuit);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    event_->Set();  // the event is untouched: a signal after the quit is still there
    EXPECT_EQ(WaitOne(event_.get(), 1000), 0);
    const DWORD self = GetCurrentThreadId();
    std::thread poster([self] {
        Sleep(50);
        PostThreadMessageW(self, WM_QUIT, 0, 0);
    });
    EXPECT_EQ(WaitOne(event_.get(), 20000), kWaitQuit);  // posted while waiting
    poster.join();
}

TEST_F(Win32Wait, ABusyQueueCannotHoldTheWaitOpen) {
    std::atomic<bool> stop{false};
    const HWND hwnd = window_;
    std::thread poster([&] {
        while (!stop.load()) {
            PostMessageW(hwnd, WM_USER + 7, 0, 0);
            Sleep(1);
        }
    });
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(WaitOne(event_.get(), 100), kWaitTimeout);
    const ULONGLONG busy = GetTickCount64() - start;
    stop = true;
    poster.join();
    EXPECT_LT(busy, 5000u);
    EXPECT_GT(g_counts.user, 0);
}

}  // namespace
}  // namespace vel::platform
