// The platform services with one set of expectations for both systems (built into the Linux
// and the Windows test programs): suspended threads, named events, the waits, the per-user
// profile and the web link texts. What only one system has is in WebLinkPosixTest and
// tests/windows.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/Profile.h"
#include "platform/WebLink.h"
#ifdef _WIN32
#include "platform/win32/Win32Handles.h"
#else
#include <unistd.h>
#endif

namespace vel::platform {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_runs{0};
void CountRun(void*) {
    g_runs.fetch_add(1);
}

TEST(WorkerThread, RunsOnlyAfterResumeOnceAndJoinsWithTimeOut) {
    g_runs = 0;
    WorkerThread thread;
    EXPECT_FALSE(thread.Started());
    EXPECT_TRUE(thread.Join(0));  // nothing to wait for
    ASSERT_TRUE(thread.CreateSuspended(CountRun, nullptr));
    EXPECT_TRUE(thread.Started());
    EXPECT_FALSE(thread.CreateSuspended(CountRun, nullptr));  // one thread per object
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(g_runs.load(), 0);
    EXPECT_FALSE(thread.Join(10));  // suspended threads do not end
    thread.Resume();
    thread.Resume();  // a second resume must not run anything twice
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ(g_runs.load(), 1);
}

TEST(WorkerThread, PassesItsArgumentAndSeesWritesMadeBeforeResume) {
    struct Shared {
        int before = 0, seen = -1;
    } shared;
    WorkerThread thread;
    ASSERT_TRUE(thread.CreateSuspended(
        [](void* arg) { static_cast<Shared*>(arg)->seen = static_cast<Shared*>(arg)->before; },
        &shared));
    shared.before = 42;  // written while the thread exists but is suspended
    thread.Resume();
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(shared.seen, 42);
}

std::atomic<bool> g_release{false}, g_ended{false};
TEST(WorkerThread, ReleasedWhileSuspendedOrRunningIsSafe) {
    g_runs = 0;
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended(CountRun, nullptr));
    }
    g_release = g_ended = false;
    {
        WorkerThread thread;
        ASSERT_TRUE(thread.CreateSuspended(
            [](void*) {
                while (!g_release.load()) {
                    std::this_thread::sleep_for(1ms);
                }
                g_ended = true;
            },
            nullptr));
        thread.Resume();
        EXPECT_FALSE(thread.Join(20));
    }  // handle released while the thread still runs
    g_release = true;
    for (int i = 0; i < 5000 && !g_ended.load(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(g_ended.load());
    EXPECT_EQ(g_runs.load(), 0);  // never resumed, never run
}

TEST(NamedEvent, AutoResetSignalsByNameCollapseAndNeedAnOpenEvent) {
    EXPECT_FALSE(SignalNamedEvent("velnr test never created"));
    {
        auto event = NamedEvent::Create("velnr test A");
        ASSERT_TRUE(event);
        EXPECT_FALSE(event->Wait(0));
        EXPECT_TRUE(SignalNamedEvent("velnr test A"));
        event->Set();  // signals do not add up
        EXPECT_TRUE(event->Wait(0));
        EXPECT_FALSE(event->Wait(0));
    }
    EXPECT_FALSE(SignalNamedEvent("velnr test A"));  // the last holder is gone
}

TEST(NamedEvent, SameNameSharesOneEventAndOneSignalWakesOneWaiter) {
    auto a = NamedEvent::Create("velnr test shared");
    auto b = NamedEvent::Create("velnr test shared");
    ASSERT_TRUE(a && b);
    a->Set();
    EXPECT_TRUE(b->Wait(0));
    EXPECT_FALSE(a->Wait(0));
    std::atomic<int> woken{0};
    auto waiter = [&](NamedEvent* e) { woken.fetch_add(e->Wait(1500) ? 1 : 0); };
    std::thread wa(waiter, a.get()), wb(waiter, b.get());
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(SignalNamedEvent("velnr test shared"));
    wa.join();
    wb.join();
    EXPECT_EQ(woken.load(), 1);
    b.reset();  // a still holds it
    EXPECT_TRUE(SignalNamedEvent("velnr test shared"));
    EXPECT_TRUE(a->Wait(0));
}

TEST(Wait, ReturnsTheIndexOfTheSignalledEventOrTimesOut) {
    auto a = NamedEvent::Create("velnr test index A");
    auto b = NamedEvent::Create("velnr test index B");
    auto c = NamedEvent::Create("velnr test index C");
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

// The profile is a file under the configuration folder on POSIX and the current user's
// registry key Software\Korvane\VELNoiseReduction on Windows (section = subkey, entry =
// string value); both read the same.
class Profile : public ::testing::Test {
  protected:
    void SetUp() override {
        SetProfileLocation("Korvane", "VELNoiseReduction");
#ifdef _WIN32
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
#else
        root_ =
            std::filesystem::temp_directory_path() / ("velnr-profile-" + std::to_string(getpid()));
        std::filesystem::create_directories(root_ / "Korvane");
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        savedXdg_ = xdg ? xdg : "";
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
#endif
    }
    void TearDown() override {
#ifdef _WIN32
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
#else
        setenv("XDG_CONFIG_HOME", savedXdg_.c_str(), 1);
        std::filesystem::remove_all(root_);
#endif
    }
    // Section "Last Folders" with these string entries, spelt in another case.
    void Write(const std::vector<std::pair<std::string, std::string>>& entries) {
#ifdef _WIN32
        for (const auto& [name, value] : entries) {
            ASSERT_EQ(RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)),
                      ERROR_SUCCESS);
        }
#else
        std::ofstream file(root_ / "Korvane" / "VELNoiseReduction.ini", std::ios::binary);
        file << "[Other]\r\nPreset File=/wrong.pst\r\n[last folders]\r\n";
        for (const auto& [name, value] : entries) {
            file << name << "=" << value << "\r\n";
        }
#endif
    }
#ifdef _WIN32
    static constexpr const char* kKey = "Software\\Korvane\\VELNoiseReduction\\Last Folders";
    HKEY key_ = nullptr;
#else
    std::filesystem::path root_;
    std::string savedXdg_;
#endif
};

TEST_F(Profile, ReadsEntriesWithDefaults) {
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "none"), "none");  // nothing yet
    const std::string longPath = std::string("/") + std::string(5000, 'd') + "/x b.pst";
    Write({{"preset file", "/home/u/a b.pst"}, {"Empty", ""}, {"Long", longPath}});
    const struct {
        const char *section, *entry, *fallback;
        std::string value;
    } cases[] = {{"Last Folders", "Preset File", "", "/home/u/a b.pst"},
                 {"Last Folders", "Missing", "dflt", "dflt"},
                 {"No Section", "Preset File", "dflt", "dflt"},
                 {"", "Preset File", "dflt", "dflt"},
                 {"Last Folders", "Empty", "dflt", ""},  // present, empty
                 {"Last Folders", "Long", "", longPath}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetProfileString(c.section, c.entry, c.fallback), c.value) << c.entry;
    }
    SetProfileLocation("Korvane", "Other Application");
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "dflt"), "dflt");
    SetProfileLocation("", "");
    EXPECT_EQ(ProfileFilePath(), "");
    EXPECT_EQ(GetProfileString("Last Folders", "Preset File", "dflt"), "dflt");
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
        {"   ", {}},
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
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {4, "Unknown Error (4) occurred."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
         "processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {-2147483647 - 1, "Unknown Error (-2147483648) occurred."}};
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(WebLinkErrorText(code), text);
        EXPECT_EQ(WebLinkFailureMessage(code), std::string("Unable to open hyperlink:\n\n") + text);
    }
    EXPECT_FALSE(WebAddressOpened(0));
    EXPECT_FALSE(WebAddressOpened(32));
    EXPECT_TRUE(WebAddressOpened(33));
}

#ifdef _WIN32
TEST_F(Profile, OnlyStringsCountAndATerminatorIsNotNeeded) {
    const DWORD number = 7;
    RegSetValueExA(key_, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    EXPECT_EQ(GetProfileString("Last Folders", "Number", "dflt"), "dflt");
    RegSetValueExA(key_, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\p.pst"), 8);
    EXPECT_EQ(GetProfileString("Last Folders", "Bare", ""), "D:\\p.pst");
    EXPECT_EQ(ProfileFilePath(), "");  // nothing on disk: the profile is the registry
}
#else
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

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        old_ = old ? std::optional<std::string>(old) : std::nullopt;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

  private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(ProfilePath, FollowsAnAbsoluteXdgConfigHomeThenHome) {
    SetProfileLocation("Korvane", "VELNoiseReduction");
    const struct {
        const char *xdg, *home, *path;
    } cases[] = {{"/xdg/config", "/h", "/xdg/config/Korvane/VELNoiseReduction.ini"},
                 {nullptr, "/home/someone", "/home/someone/.config/Korvane/VELNoiseReduction.ini"},
                 {"", "/h", "/h/.config/Korvane/VELNoiseReduction.ini"},
                 {"relative/dir", "/h", "/h/.config/Korvane/VELNoiseReduction.ini"}};
    for (const auto& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg), home("HOME", c.home);
        EXPECT_EQ(ProfileFilePath(), c.path);
    }
}
#endif

}  // namespace
}  // namespace vel::platform
