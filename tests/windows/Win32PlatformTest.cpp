// What only the Win32 platform services have (the shared expectations are in
// tests/platform): events are kernel objects (also across processes),
// and the wait pumps the thread's own queue with a real window.

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel::platform {
namespace {

// A message-only window that counts the messages reaching its procedure.
int g_userMessages = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_userMessages += msg == WM_USER + 7;
    return msg == WM_USER + 7 ? 0 : DefWindowProcW(hwnd, msg, wp, lp);
}

class Win32Wait : public ::testing::Test {
  protected:
    void SetUp() override {
        DrainQueue();
        g_userMessages = 0;
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
}

TEST_F(Win32Wait, DispatchesPostedMessagesUntilTheEvent) {
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
    EXPECT_EQ(g_userMessages, 6);
}

TEST_F(Win32Wait, AQuitMessageEndsTheWaitAndIsConsumed) {
    PostQuitMessage(3);
    EXPECT_EQ(WaitOne(event_.get(), kInfinite), kWaitQuit);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    event_->Set();  // the event is untouched: a signal after the quit is still there
    EXPECT_EQ(WaitOne(event_.get(), 1000), 0);
}

}  // namespace
}  // namespace vel::platform
