// The DLL as a Windows host drives it: LoadLibrary, GetProcAddress, the exports only.

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/VELNoiseReduction.h"
#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel {
namespace {

using test::SameBits;

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    FARPROC symbol = GetProcAddress(module, name);
    Fn fn = nullptr;
    static_assert(sizeof fn == sizeof symbol);
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

std::string TempFolder() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return folder;
}

// A freshly loaded library per test, as a host loads it.
class Dll : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(module_, nullptr);
        ASSERT_TRUE(getName && getSettings && setSettings && openPlugin && setHostCallbacks);
    }
    void TearDown() override {
        DeleteFileA(settingsPath_.c_str());
        if (module_) {
            FreeLibrary(module_);
        }
    }
    std::string Settings(const char* text = nullptr) {
        if (text) {
            std::ofstream(settingsPath_, std::ios::binary) << text;
        }
        std::ostringstream bytes;
        bytes << std::ifstream(settingsPath_, std::ios::binary).rdbuf();
        return bytes.str();
    }

    HMODULE module_ = LoadLibraryA((ModuleFolder() + "VELNoiseReduction.dll").c_str());
    std::string settingsPath_ = TempFolder() + "velnr_dll_test.ini";
    VelGetNameFn getName = Export<VelGetNameFn>(module_, "GetName");
    VelGetSettingsFn getSettings = Export<VelGetSettingsFn>(module_, "GetSettings");
    VelSetSettingsFn setSettings = Export<VelSetSettingsFn>(module_, "SetSettings");
    VelOpenPluginFn openPlugin = Export<VelOpenPluginFn>(module_, "OpenPlugin");
    VelSetHostCallbacksFn setHostCallbacks =
        Export<VelSetHostCallbacksFn>(module_, "SetHostCallbacks");
};

TEST_F(Dll, GetNameIsTheDisplayNameEveryTime) {
    const char* name = getName();
    EXPECT_STREQ(name, "VEL Noise Reduction");
    EXPECT_EQ(getName(), name);
}

TEST_F(Dll, SettingsGoThroughTheHostsFile) {
    Settings("[VEL Noise Reduction 2]\r\nLuma Threshold=5\r\nHigh Quality=0\r\n");
    setSettings(settingsPath_.c_str(), 2);
    getSettings(settingsPath_.c_str(), 4);
    const std::string text = Settings();
    EXPECT_NE(text.find("[VEL Noise Reduction 2]"), std::string::npos) << text;
    const size_t slot4 = text.find("[VEL Noise Reduction 4]");
    ASSERT_NE(slot4, std::string::npos) << text;
    EXPECT_NE(text.find("Luma Threshold=5", slot4), std::string::npos) << text;
    EXPECT_NE(text.find("High Quality=0", slot4), std::string::npos) << text;
}

TEST_F(Dll, SilentRunEqualsTheEngineOnTheSamePixels) {
    Settings(
        "[VEL Noise Reduction 1]\nLuma Threshold=3\nChroma Suppression=16\n"
        "High Quality=0\nLight Correction=-4\n");
    setSettings(settingsPath_.c_str(), 1);
    NoiseReductionParams expected;  // keys the file lacks take their defaults
    expected.lumaThreshold = 3;
    expected.chromaThreshold = 1;
    expected.lumaSuppression = 9;
    expected.chromaSuppression = 16;
    expected.highQuality = false;
    expected.lightCorrection = -4;
    const auto host = test::NoisyImage(160, 120, 31);
    auto pixels = host;
    openPlugin(1, 160, 120, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_TRUE(
        SameBits(pixels, test::EngineResult(host, 160, 120, expected, test::Analysis::PerTile)));
}

TEST_F(Dll, ProgressReachesTheHostOnItsThreadAndCancelLeavesThePixels) {
    struct Seen {
        DWORD thread = GetCurrentThreadId();
        bool otherThread = false;
        float last = -1.0f;
    } seen;
    const auto progress = [](void* context, const char*, float percent) {
        auto* s = static_cast<Seen*>(context);
        s->otherThread |= GetCurrentThreadId() != s->thread;
        s->last = percent;
    };
    volatile unsigned char cancel = 0;
    setHostCallbacks(progress, &seen, &cancel);
    const auto host = test::NoisyImage(600, 100, 33);
    auto pixels = host;
    openPlugin(1, 600, 100, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_FALSE(seen.otherThread);
    EXPECT_EQ(seen.last, 100.0f);
    cancel = 1;
    pixels = host;
    openPlugin(1, 600, 100, pixels.data(), 0, 0, nullptr, nullptr);
    setHostCallbacks(nullptr, nullptr, nullptr);
    EXPECT_TRUE(SameBits(pixels, host));
}

// Each process's run waits on its own completion event (the name holds the process id): two
// hosts at the same moment must both finish, with the result of the engine.
TEST(DllProcesses, TwoHostsRunAtTheSameMoment) {
    const auto host = test::NoisyImage(kTwoProcessWidth, kTwoProcessHeight, kTwoProcessSeed);
    const auto expected =
        test::EngineResult(host, kTwoProcessWidth, kTwoProcessHeight, {}, test::Analysis::PerTile);
    const std::string dll = ModuleFolder() + "VELNoiseReduction.dll";
    const std::string out[2] = {TempFolder() + "velnr_two_0.raw", TempFolder() + "velnr_two_1.raw"};
    ProbeProcess first({"run", dll, out[0]});
    ProbeProcess second({"run", dll, out[1]});
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_EQ(first.Finish(120000), 0u);
    EXPECT_EQ(second.Finish(120000), 0u);
    for (const std::string& path : out) {
        std::vector<float> pixels(expected.size());
        std::ifstream(path, std::ios::binary)
            .read(reinterpret_cast<char*>(pixels.data()),
                  static_cast<std::streamsize>(pixels.size() * sizeof(float)));
        EXPECT_TRUE(SameBits(pixels, expected)) << path;
        DeleteFileA(path.c_str());
    }
}

}  // namespace
}  // namespace vel
