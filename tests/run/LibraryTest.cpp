// The plug-in as a host sees it, on both systems: loaded at run time, driven only through its
// exports (their list is checked by plugin.Exports and the DLL table tests).

#ifdef _WIN32
#define VELNR_LIBRARY "VELNoiseReduction.dll"  // beside the test program
#else
#define VELNR_LIBRARY VELNR_LIBRARY_PATH
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/VELNoiseReduction.h"
#include "tests/run/PluginLibrary.h"
#include "tests/run/RunReference.h"
#include "tests/run/TestImages.h"
#include "tests/settings/TestFiles.h"

namespace vel {
namespace {

namespace fs = std::filesystem;
using test::Analysis;
using test::ReadAll;
using test::SameBits;
using test::WriteAll;

// ctest runs every test in a process of its own, so each test starts from a freshly loaded
// library, as a host does.
struct Library : test::PluginLibrary {
    Library() : PluginLibrary(VELNR_LIBRARY) {}
    VelGetNameFn getName = Find<VelGetNameFn>("GetName");
    VelGetSettingsFn getSettings = Find<VelGetSettingsFn>("GetSettings");
    VelSetSettingsFn setSettings = Find<VelSetSettingsFn>("SetSettings");
    VelOpenPluginFn openPlugin = Find<VelOpenPluginFn>("OpenPlugin");
    VelSetHostCallbacksFn setHostCallbacks = Find<VelSetHostCallbacksFn>("SetHostCallbacks");
    VelGetLastRunResultFn lastRunResult = Find<VelGetLastRunResultFn>("GetLastRunResult");
    VelGetNoiseProfileFn noiseProfile = Find<VelGetNoiseProfileFn>("GetNoiseProfile");

    std::vector<float> Run(const std::vector<float>& host, int32_t w, int32_t h) const {
        auto pixels = host;
        openPlugin(1, w, h, pixels.data(), 0, 0, nullptr, nullptr);
        return pixels;
    }
};

class LibraryTest : public test::TempDirTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(lib_.getName && lib_.getSettings && lib_.setSettings && lib_.openPlugin &&
                    lib_.setHostCallbacks && lib_.lastRunResult && lib_.noiseProfile);
    }
    void TearDown() override { lib_.setHostCallbacks(nullptr, nullptr, nullptr); }
    Library lib_;
};

TEST_F(LibraryTest, ReanalyzeWholeAnalysesFirstAndTheProfileIsExported) {
    WriteAll(File("s.ini"), "[VEL Noise Reduction 0]\nReanalyze Whole=1\n");
    lib_.setSettings(File("s.ini").string().c_str(), 0);
    NoiseReductionParams expected;  // keys the file lacks take their defaults
    expected.lumaThreshold = 0;
    expected.lumaSuppression = 9;
    expected.reanalyzeWhole = true;
    const auto host = test::NoisyImage(120, 100, 22);
    EXPECT_TRUE(SameBits(lib_.Run(host, 120, 100),
                         test::EngineResult(host, 120, 100, expected, Analysis::WholeImage)));
    // What the analysis measured (high quality: 3 channels, 4 levels, 4 bands), never written
    // past capacity.
    std::vector<float> measured = test::MeasuredProfile(host, 120, 100, expected).noise;
    measured.push_back(-1.0f);
    std::vector<float> profile(49, -1.0f), two(3, -1.0f);
    ASSERT_EQ(lib_.noiseProfile(profile.data(), 48), 48);
    EXPECT_TRUE(SameBits(profile, measured));
    EXPECT_EQ(lib_.noiseProfile(two.data(), 2), 48);
    EXPECT_TRUE(SameBits(two, {measured[0], measured[1], -1.0f}));
}

// Right after loading: the name, the initial settings (written as a new section) and no run.
TEST_F(LibraryTest, NameInitialSettingsAndWhatEachCallDid) {
    const char* first = lib_.getName();
    EXPECT_STREQ(first, "VEL Noise Reduction");
    EXPECT_EQ(lib_.getName(), first);
    lib_.getSettings(File("new.ini").string().c_str(), 0);
    EXPECT_EQ(ReadAll(File("new.ini")), test::kInitialSection);
    EXPECT_EQ(lib_.lastRunResult(), VEL_RUN_NONE);
    const auto host = test::NoisyImage(40, 30, 27);
    const struct {
        const char* what;
        int32_t noInteraction, width;
        unsigned char cancel;
        int32_t result;
    } cases[] = {{"silent", 1, 40, 0, VEL_RUN_COMPLETED},
                 {"cancelled by the host", 1, 40, 1, VEL_RUN_CANCELLED},
                 {"no pixels to work on", 1, 0, 0, VEL_RUN_NOT_POSSIBLE}};
    for (const auto& c : cases) {
        volatile unsigned char cancel = c.cancel;
        lib_.setHostCallbacks(nullptr, nullptr, &cancel);
        auto pixels = host;
        lib_.openPlugin(c.noInteraction, c.width, 30, pixels.data(), 0, 0, nullptr, nullptr);
        EXPECT_EQ(lib_.lastRunResult(), c.result) << c.what;
        EXPECT_EQ(lib_.noiseProfile(nullptr, 0), 0) << c.what;
        EXPECT_EQ(SameBits(pixels, host), c.result != VEL_RUN_COMPLETED) << c.what;
    }
}

struct CallbackLog {
    const Library* lib = nullptr;
    std::thread::id host = std::this_thread::get_id();
    bool otherThread = false;
    std::vector<std::string> statuses;
    std::vector<float> percents;
    volatile unsigned char cancel = 0;
    float cancelAt = -1.0f;
    std::string reenterSettings;  // a file the second call would write; empty: no second call
    std::vector<float> reentrantPixels = std::vector<float>(12, 0.25f);
};

void LogProgress(void* context, const char* status, float percent) {
    auto* log = static_cast<CallbackLog*>(context);
    log->otherThread |= std::this_thread::get_id() != log->host;
    if (log->statuses.empty() || log->statuses.back() != status) {
        log->statuses.emplace_back(status);
    }
    log->percents.push_back(percent);
    if (log->cancelAt >= 0.0f && percent >= log->cancelAt) {
        log->cancel = 1;
    }
    if (!log->reenterSettings.empty()) {
        // A second call while one runs must be refused without touching anything.
        log->lib->openPlugin(1, 2, 2, log->reentrantPixels.data(), 0, 0, nullptr, nullptr);
        log->lib->getSettings(log->reenterSettings.c_str(), 0);
        log->reenterSettings.clear();
    }
}

TEST_F(LibraryTest, HostCallbacksReportProgressCancelAndRefuseASecondCall) {
    const auto host = test::NoisyImage(600, 300, 24);
    for (const bool cancel : {false, true}) {
        CallbackLog log;
        log.lib = &lib_;
        log.cancelAt = cancel ? 0.0f : -1.0f;
        log.reenterSettings = File("reentrant.ini").string();
        lib_.setHostCallbacks(LogProgress, &log, &log.cancel);
        const auto pixels = lib_.Run(host, 600, 300);
        ASSERT_EQ(log.statuses, std::vector<std::string>{"VEL Noise Reduction..."});
        EXPECT_EQ(log.percents.front(), 0.0f);
        EXPECT_FALSE(log.otherThread);  // reports reach the host on its own thread
        EXPECT_EQ(log.reentrantPixels, std::vector<float>(12, 0.25f));
        EXPECT_FALSE(fs::exists(File("reentrant.ini")));
        if (cancel) {
            EXPECT_TRUE(SameBits(pixels, host));
        } else {
            EXPECT_EQ(log.percents.back(), 100.0f);
            EXPECT_TRUE(
                SameBits(pixels, test::EngineResult(host, 600, 300, {}, Analysis::PerTile)));
        }
    }
}

}  // namespace
}  // namespace vel
