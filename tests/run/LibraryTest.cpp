// The plug-in as a host sees it: loaded with dlopen, driven only through its exports.

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Jobs.h"
#include "plugin/HostImage.h"
#include "plugin/PlaneImage.h"
#include "plugin/SettingsToEngine.h"
#include "plugin/VELNoiseReduction.h"
#include "settings/NoiseReductionParams.h"
#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"

namespace vel {
namespace {

struct Library {
    void* handle = nullptr;
    VelGetSettingsFn getSettings = nullptr;
    VelSetSettingsFn setSettings = nullptr;
    VelOpenPluginFn openPlugin = nullptr;
    VelSetHostCallbacksFn setHostCallbacks = nullptr;
    VelGetLastRunResultFn lastRunResult = nullptr;
    VelGetNoiseProfileFn noiseProfile = nullptr;

    Library() {
        // ctest runs every test in a process of its own, so each test starts from a freshly
        // loaded library, as a host does.
        handle = dlopen(VELNR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle) {
            getSettings = reinterpret_cast<VelGetSettingsFn>(dlsym(handle, "GetSettings"));
            setSettings = reinterpret_cast<VelSetSettingsFn>(dlsym(handle, "SetSettings"));
            openPlugin = reinterpret_cast<VelOpenPluginFn>(dlsym(handle, "OpenPlugin"));
            setHostCallbacks =
                reinterpret_cast<VelSetHostCallbacksFn>(dlsym(handle, "SetHostCallbacks"));
            lastRunResult =
                reinterpret_cast<VelGetLastRunResultFn>(dlsym(handle, "GetLastRunResult"));
            noiseProfile = reinterpret_cast<VelGetNoiseProfileFn>(dlsym(handle, "GetNoiseProfile"));
        }
    }
    ~Library() {
        if (handle) {
            dlclose(handle);
        }
    }
    bool Ok() const {
        return handle && getSettings && setSettings && openPlugin && setHostCallbacks &&
               lastRunResult && noiseProfile;
    }
};

std::filesystem::path TempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("velnr-" + std::to_string(getpid()) + "-" + name);
}

TEST(Library, SetSettingsThenSilentRunEqualsTheEngine) {
    Library lib;
    ASSERT_TRUE(lib.Ok()) << dlerror();
    const auto path = TempFile("settings.ini");
    {
        std::ofstream f(path, std::ios::binary);
        f << "[Other Program]\r\nkey=value\r\n[VEL Noise Reduction 3]\r\nLuma Threshold=2\r\n"
             "Chroma Suppression=18\r\nHigh Quality=0\r\nDark Correction=4\r\n";
    }
    lib.setSettings(path.string().c_str(), 3);
    NoiseReductionParams expected;  // keys the file lacks take their defaults
    expected.lumaThreshold = 2;
    expected.chromaThreshold = 1;
    expected.lumaSuppression = 9;
    expected.chromaSuppression = 18;
    expected.highQuality = false;
    expected.darkCorrection = 4;

    const auto host = test::NoisyImage(150, 90, 21);
    auto pixels = host;
    lib.openPlugin(1, 150, 90, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 150, 90, expected, test::Analysis::PerTile)));
    std::filesystem::remove(path);
}

TEST(Library, ReanalyzeWholeAnalysesFirst) {
    Library lib;
    ASSERT_TRUE(lib.Ok());
    const auto path = TempFile("reanalyze.ini");
    {
        std::ofstream f(path, std::ios::binary);
        f << "[VEL Noise Reduction 0]\nReanalyze Whole=1\n";
    }
    lib.setSettings(path.string().c_str(), 0);
    NoiseReductionParams expected;
    expected.lumaThreshold = 0;
    expected.lumaSuppression = 9;
    expected.reanalyzeWhole = true;
    const auto host = test::NoisyImage(120, 100, 22);
    auto pixels = host;
    lib.openPlugin(1, 120, 100, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 120, 100, expected, test::Analysis::WholeImage)));
    std::filesystem::remove(path);

    // The profile export gives what the analysis measured, and never writes past capacity.
    PlaneImage image(120, 100);
    ImportHostImage(host.data(), 120, 100, image);
    image.RgbToYuv();
    const std::vector<float> measured =
        RunNoiseAnalysis({image.Plane(0), image.Plane(1), image.Plane(2), 120, 100},
                         ToEngineSettings(expected), {})
            .value();
    ASSERT_EQ(measured.size(), 48u);  // high quality: 3 channels, 4 levels, 4 bands
    std::vector<float> profile(50, -1.0f);
    ASSERT_EQ(lib.noiseProfile(profile.data(), 48), 48);
    EXPECT_TRUE(test::SameBits({profile.begin(), profile.begin() + 48}, measured));
    EXPECT_EQ(profile[48], -1.0f);
    std::vector<float> two(3, -1.0f);
    EXPECT_EQ(lib.noiseProfile(two.data(), 2), 48);
    EXPECT_EQ(two[1], measured[1]);
    EXPECT_EQ(two[2], -1.0f);
    EXPECT_EQ(lib.noiseProfile(nullptr, 0), 48);
}

TEST(Library, LastRunResultTellsWhatTheCallDid) {
    Library lib;
    ASSERT_TRUE(lib.Ok());
    EXPECT_EQ(lib.lastRunResult(), VEL_RUN_NONE);
    const auto host = test::NoisyImage(40, 30, 27);
    auto pixels = host;
    struct Case {
        const char* what;
        int32_t noInteraction;
        int32_t width;
        unsigned char cancel;
        int32_t result;
        int32_t profileEntries;
    };
    const Case cases[] = {
        {"silent", 1, 40, 0, VEL_RUN_COMPLETED, 0},
        {"cancelled by the host", 1, 40, 1, VEL_RUN_CANCELLED, 0},
        {"no dialog in this library", 0, 40, 0, VEL_RUN_NOT_POSSIBLE, 0},
        {"no pixels to work on", 1, 0, 0, VEL_RUN_NOT_POSSIBLE, 0},
    };
    for (const Case& c : cases) {
        volatile unsigned char cancel = c.cancel;
        lib.setHostCallbacks(nullptr, nullptr, &cancel);
        pixels = host;
        lib.openPlugin(c.noInteraction, c.width, 30, pixels.data(), 0, 0, nullptr, nullptr);
        EXPECT_EQ(lib.lastRunResult(), c.result) << c.what;
        EXPECT_EQ(lib.noiseProfile(nullptr, 0), c.profileEntries) << c.what;
        EXPECT_EQ(test::SameBits(pixels, host), c.result != VEL_RUN_COMPLETED) << c.what;
    }
    lib.setHostCallbacks(nullptr, nullptr, nullptr);
}

TEST(Library, RightAfterLoadingTheInitialSettingsMeasureNoisePerTile) {
    Library lib;
    ASSERT_TRUE(lib.Ok());
    const auto host = test::NoisyImage(64, 48, 23);
    auto pixels = host;
    lib.openPlugin(1, 64, 48, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 64, 48, NoiseReductionParams{}, test::Analysis::PerTile)));
}

struct CallbackLog {
    Library* lib = nullptr;
    std::vector<std::string> statuses;
    std::vector<float> percents;
    volatile unsigned char cancel = 0;
    float cancelAt = -1.0f;
    bool reenter = false;
    std::vector<float> reentrantPixels;
};

void LogProgress(void* context, const char* status, float percent) {
    auto* log = static_cast<CallbackLog*>(context);
    if (log->statuses.empty() || log->statuses.back() != status) {
        log->statuses.emplace_back(status);
    }
    log->percents.push_back(percent);
    if (log->cancelAt >= 0.0f && percent >= log->cancelAt) {
        log->cancel = 1;
    }
    if (log->reenter) {
        log->reenter = false;
        // A second run while one waits must be refused without touching its buffer.
        log->lib->openPlugin(1, 2, 2, log->reentrantPixels.data(), 0, 0, nullptr, nullptr);
        log->lib->getSettings("/nonexistent-folder/never-written.ini", 0);
    }
}

TEST(Library, HostCallbacksReportProgressAndCancel) {
    Library lib;
    ASSERT_TRUE(lib.Ok());
    CallbackLog log;
    log.lib = &lib;
    lib.setHostCallbacks(LogProgress, &log, &log.cancel);
    const auto host = test::NoisyImage(600, 300, 24);
    auto pixels = host;
    lib.openPlugin(1, 600, 300, pixels.data(), 0, 0, nullptr, nullptr);
    ASSERT_EQ(log.statuses, std::vector<std::string>{"VEL Noise Reduction..."});
    EXPECT_EQ(log.percents.front(), 0.0f);
    EXPECT_EQ(log.percents.back(), 100.0f);
    EXPECT_FALSE(test::SameBits(pixels, host));

    log = CallbackLog{};
    log.lib = &lib;
    log.cancelAt = 0.0f;
    pixels = host;
    lib.openPlugin(1, 600, 300, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_TRUE(test::SameBits(pixels, host));
    lib.setHostCallbacks(nullptr, nullptr, nullptr);
}

TEST(Library, ASecondCallDuringARunIsRefused) {
    Library lib;
    ASSERT_TRUE(lib.Ok());
    CallbackLog log;
    log.lib = &lib;
    log.reenter = true;
    log.reentrantPixels = {0.5f, 0.5f, 0.5f, 0.25f, 0.25f, 0.25f,
                           0.1f, 0.2f, 0.3f, 0.9f,  0.8f,  0.7f};
    const auto before = log.reentrantPixels;
    lib.setHostCallbacks(LogProgress, &log, &log.cancel);
    const auto host = test::NoisyImage(60, 40, 25);
    auto pixels = host;
    lib.openPlugin(1, 60, 40, pixels.data(), 0, 0, nullptr, nullptr);
    EXPECT_EQ(log.reentrantPixels, before);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-folder/never-written.ini"));
    EXPECT_TRUE(test::SameBits(
        pixels, test::EngineResult(host, 60, 40, NoiseReductionParams{}, test::Analysis::PerTile)));
    lib.setHostCallbacks(nullptr, nullptr, nullptr);
}

TEST(Library, TwoProcessesRunAtTheSameMoment) {
    const auto host = test::NoisyImage(600, 580, 26);
    const auto expected =
        test::EngineResult(host, 600, 580, NoiseReductionParams{}, test::Analysis::PerTile);
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Library lib;
            auto pixels = host;
            if (lib.Ok()) {
                lib.openPlugin(1, 600, 580, pixels.data(), 0, 0, nullptr, nullptr);
            }
            _exit(lib.Ok() && test::SameBits(pixels, expected) ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

}  // namespace
}  // namespace vel
