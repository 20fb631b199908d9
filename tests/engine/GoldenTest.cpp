// Golden check: a seeded synthetic image run through whole jobs, the output bits pinned by an
// FNV-1a hash. Any change of a constant, an order of operations or a float width in the engine
// or the wavelet layer changes a hash; README.md says how to refresh kGolden (run with
// VELNR_PRINT_GOLDEN=1) when a change is intended.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TestImages.h"
#include "engine/Jobs.h"

namespace vel {
namespace {

struct GoldenCase {
    const char* name;
    uint64_t hash;
};

constexpr GoldenCase kGolden[] = {
    {"isotropic-measured", 0x5203a93ce0111167ull},
    {"directional-measured", 0x44d3df67166cd1a9ull},
    {"directional-profile", 0xee7b7a03771c4ff7ull},
    {"isotropic-profile-tone", 0x1e539a872f722d18ull},
    {"directional-measured-tone-thresholds", 0x0a4af527cd8611d4ull},
    {"directional-analysis-profile", 0x9ea7a5b32695de20ull},
    {"isotropic-analysis-profile", 0xa39d62f175d2a709ull},
};

uint64_t Expected(const std::string& name) {
    for (const GoldenCase& c : kGolden) {
        if (name == c.name) {
            return c.hash;
        }
    }
    return 0;
}

bool Printing() {
    const char* env = std::getenv("VELNR_PRINT_GOLDEN");
    return env && std::strcmp(env, "0") != 0;
}

void Check(const std::string& name, uint64_t hash) {
    if (Printing()) {
        std::printf("    {\"%s\", 0x%016" PRIx64 "ull},\n", name.c_str(), hash);
        return;
    }
    EXPECT_EQ(hash, Expected(name)) << name << ": output bits changed (see README.md)";
}

uint64_t HashProfile(const std::vector<float>& profile) {
    test::Planes wrapped(static_cast<int32_t>(profile.size()), 1);
    wrapped.p[0] = profile;
    wrapped.p[1].clear();
    wrapped.p[2].clear();
    return test::HashPlanes(wrapped);
}

// 700 x 600: 2 x 2 reduction tiles (last column 220, last row 120) and 2 x 2 analysis tiles.
constexpr int32_t kW = 700, kH = 600;

struct RunCase {
    const char* name;
    bool highQuality;
    bool profile;
    int light, dark, lumaThreshold, chromaSuppression;
};

TEST(GoldenTest, OutputBitsArePinned) {
    const test::Planes input = test::MakeNoisyImage(kW, kH, 0x5EEDull);
    const RunCase cases[] = {
        {"isotropic-measured", false, false, 0, 0, -2, 12},
        {"directional-measured", true, false, 0, 0, -2, 12},
        {"directional-profile", true, true, 0, 0, -2, 12},
        {"isotropic-profile-tone", false, true, 6, 9, -2, 12},
        {"directional-measured-tone-thresholds", true, false, -5, 12, 4, 20},
    };
    for (const RunCase& c : cases) {
        EngineSettings params = test::StartupSettings();
        params.highQuality = c.highQuality;
        params.lightCorrection = c.light;
        params.darkCorrection = c.dark;
        params.lumaThreshold = c.lumaThreshold;
        params.chromaSuppression = c.chromaSuppression;
        test::Planes planes = input;
        std::vector<float> profile;
        if (c.profile) {
            profile = RunNoiseAnalysis(planes.View(), params, {}).value();
            // Hashed as the plug-in keeps it: 48 entries, the unmeasured ones 0.
            profile.resize(kNoiseProfileEntries, 0.0f);
            Check(std::string(c.highQuality ? "directional" : "isotropic") + "-analysis-profile",
                  HashProfile(profile));
        }
        RunNoiseReduction(planes.View(), params, profile, {});
        Check(c.name, test::HashPlanes(planes));
    }
}

}  // namespace
}  // namespace vel
