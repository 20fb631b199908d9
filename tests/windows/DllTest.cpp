// The DLL as a Windows host drives it: LoadLibrary, GetProcAddress, the exports only.

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Jobs.h"
#include "plugin/HostImage.h"
#include "plugin/PlaneImage.h"
#include "plugin/SettingsToEngine.h"
#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"
#include "tests/run/TestImages.h"
#include "tests/windows/TwoProcessRun.h"
#include "tests/windows/WindowsTestSupport.h"

namespace vel {
namespace {

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    FARPROC symbol = GetProcAddress(module, name);
    Fn fn = nullptr;
    static_assert(sizeof fn == sizeof symbol);
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

// A freshly loaded library per test, as a host loads it.
class Dll : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryA((ModuleFolder() + "VELNoiseReduction.dll").c_str());
        ASSERT_NE(module_, nullptr);
        getName = Export<VelGetNameFn>(module_, "GetName");
        getSettings = Export<VelGetSettingsFn>(module_, "GetSettings");
        setSettings = Export<VelSetSettingsFn>(module_, "SetSettings");
        openPlugin = Export<VelOpenPluginFn>(module_, "OpenPlugin");
        setHostCallbacks = Export<VelSetHostCallbacksFn>(module_, "SetHostCallbacks");
        ASSERT_TRUE(getName && getSettings && setSettings && openPlugin && setHostCallbacks);
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        settingsPath_ = std::string(folder) + "velnr_dll_test.ini";
    }
    void TearDown() override {
        DeleteFileA(settingsPath_.c_str());
        if (module_) {
            FreeLibrary(module_);
        }
    }
    void WriteSettings(const std::string& text) {
        std::ofstream(settingsPath_, std::ios::binary) << text;
    }
    std::string ReadSettings() const {
        std::ifstream file(settingsPath_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    HMODULE module_ = nullptr;
    std::string settingsPath_;
    VelGetNameFn getName = nullptr;
    VelGetSettingsFn getSettings = nullptr;
    VelSetSettingsFn setSettings = nullptr;
    VelOpenPluginFn openPlugin = nullptr;
    VelSetHostCallbacksFn setHostCallbacks = nullptr;
};

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The engine run in this process on the same pixels: what the DLL must give.
std::vector<float> EngineResult(const std::vector<float>& host, int32_t w, int32_t h,
                                const NoiseReductionParams& params) {
    PlaneImage image(w, h);
    ImportHostImage(host.data(), w, h, image);
    image.RgbToYuv();
    RunNoiseReduction({{image.Plane(0), image.Plane(1), image.Plane(2)}, w, h},
                      ToEngineSettings(params), {}, {});
    image.YuvToRgb();
    std::vector<float> out = host;
    ExportHostImage(image, out.data());
    return out;
}

TEST_F(Dll, GetNameIsTheDisplayNameEveryTime) {
    const char* name = getName();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "VEL Noise Reduction");
    EXPECT_EQ(getName(), name);
}

TEST_F(Dll, SettingsGoThroughTheHostsFile) {
    WriteSettings("[VEL Noise Reduction 2]\r\nLuma Threshold=5\r\nHigh Quality=0\r\n");
    setSettings(settingsPath_.c_str(), 2);
    getSettings(settingsPath_.c_str(), 4);
    const std::string text = ReadSettings();
    EXPECT_NE(text.find("[VEL Noise Reduction 2]"), std::string::npos) << text;
    const size_t slot4 = text.find("[VEL Noise Reduction 4]");
    ASSERT_NE(slot4, std::string::npos) << text;
    EXPECT_NE(text.find("Luma Threshold=5", slot4), std::string::npos) << text;
    EXPECT_NE(text.find("High Quality=0", slot4), std::string::npos) << text;
}

TEST_F(Dll, SilentRunEqualsTheEngineOnTheSamePixels) {
    WriteSettings(
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
    EXPECT_FALSE(SameBits(pixels, host));
    EXPECT_TRUE(SameBits(pixels, EngineResult(host, 160, 120, expected)));
    for (const float v : pixels) {
        ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
    }
}

// Each process's run waits on its own completion event (the name holds the process id): two
// hosts at the same moment must both finish, with the result of the engine.
TEST(DllProcesses, TwoHostsRunAtTheSameMoment) {
    const auto host = test::NoisyImage(kTwoProcessWidth, kTwoProcessHeight, kTwoProcessSeed);
    const auto expected =
        EngineResult(host, kTwoProcessWidth, kTwoProcessHeight, NoiseReductionParams{});
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string dll = ModuleFolder() + "VELNoiseReduction.dll";
    const std::string out[2] = {std::string(folder) + "velnr_two_0.raw",
                                std::string(folder) + "velnr_two_1.raw"};
    ProbeProcess first({"run", dll, out[0]});
    ProbeProcess second({"run", dll, out[1]});
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_EQ(first.Finish(120000), 0u);
    EXPECT_EQ(second.Finish(120000), 0u);
    for (const std::string& path : out) {
        std::ifstream file(path, std::ios::binary);
        std::vector<float> pixels(expected.size());
        file.read(reinterpret_cast<char*>(pixels.data()),
                  static_cast<std::streamsize>(pixels.size() * sizeof(float)));
        EXPECT_TRUE(file && SameBits(pixels, expected)) << path;
        file.close();
        DeleteFileA(path.c_str());
    }
}

TEST_F(Dll, ACancelledRunLeavesTheHostsPixelsUntouched) {
    const auto host = test::NoisyImage(90, 70, 32);
    auto pixels = host;
    const volatile unsigned char cancel = 1;
    setHostCallbacks(nullptr, nullptr, &cancel);
    openPlugin(1, 90, 70, pixels.data(), 0, 0, nullptr, nullptr);
    setHostCallbacks(nullptr, nullptr, nullptr);
    EXPECT_TRUE(SameBits(pixels, host));
}

TEST_F(Dll, ProgressReachesTheHostOnItsThread) {
    struct Seen {
        DWORD thread = 0;
        bool otherThread = false;
        float last = -1.0f;
        int calls = 0;
    } seen;
    seen.thread = GetCurrentThreadId();
    const auto progress = [](void* context, const char*, float percent) {
        auto* s = static_cast<Seen*>(context);
        s->otherThread |= GetCurrentThreadId() != s->thread;
        s->last = percent;
        ++s->calls;
    };
    setHostCallbacks(progress, &seen, nullptr);
    auto pixels = test::NoisyImage(600, 100, 33);
    openPlugin(1, 600, 100, pixels.data(), 0, 0, nullptr, nullptr);
    setHostCallbacks(nullptr, nullptr, nullptr);
    EXPECT_GT(seen.calls, 0);
    EXPECT_FALSE(seen.otherThread);
    EXPECT_GT(seen.last, 0.0f);
    EXPECT_LE(seen.last, 100.0f);
}

}  // namespace
}  // namespace vel
