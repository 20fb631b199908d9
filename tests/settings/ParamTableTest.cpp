#include "settings/ParamTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vel {
namespace {

TEST(ParamTable, InitialValuesAreTheRecordsAndEveryFieldAppearsOnce) {
    const NoiseReductionParams initial;
    NoiseReductionParams marked;
    std::set<std::string> keys;
    for (const ParamSpec& spec : kParamTable) {
        EXPECT_EQ(spec.Get(initial), spec.initial) << spec.key;
        EXPECT_TRUE(keys.insert(spec.key).second) << spec.key;
        EXPECT_EQ((spec.kind == ParamKind::Decibel), (spec.intField != nullptr)) << spec.key;
        EXPECT_EQ((spec.kind == ParamKind::Switch), (spec.boolField != nullptr)) << spec.key;
        spec.Set(marked, spec.kind == ParamKind::Switch ? 0 : 1000);
    }
    // Each stored field was reached exactly once and the fixed ones not at all.
    EXPECT_EQ(marked.lumaThreshold, 1000);
    EXPECT_EQ(marked.chromaThreshold, 1000);
    EXPECT_EQ(marked.lumaSuppression, 1000);
    EXPECT_EQ(marked.chromaSuppression, 1000);
    EXPECT_EQ(marked.lightCorrection, 1000);
    EXPECT_EQ(marked.darkCorrection, 1000);
    EXPECT_FALSE(marked.linkLumaChroma);
    EXPECT_FALSE(marked.highQuality);
    EXPECT_FALSE(marked.reanalyzeWhole);
    EXPECT_EQ(marked.smoothingFilter, 0);
    EXPECT_EQ(marked.decompositionLevels, 4);
    EXPECT_EQ(marked.curveExponent, 2.0f);
}

TEST(ParamTable, KeysDefaultsAndDialogRangesInFileOrder) {
    const char* keys[] = {"Luma Threshold",     "Chroma Threshold", "Luma Suppression",
                          "Chroma Suppression", "Link Luma Chroma", "High Quality",
                          "Reanalyze Whole",    "Light Correction", "Dark Correction"};
    const int32_t defaults[] = {0, 1, 9, 12, 1, 1, 0, 0, 0};
    for (std::size_t i = 0; i < kParamTable.size(); ++i) {
        EXPECT_STREQ(kParamTable[i].key, keys[i]);
        EXPECT_EQ(kParamTable[i].defaultIfMissing, defaults[i]) << keys[i];
        EXPECT_EQ(FindParam(keys[i]), &kParamTable[i]);
    }
    EXPECT_EQ(FindParam("luma threshold"), nullptr);
    // Sliders run 0..20 and map onto the edit range through the offset.
    for (const ParamSpec& spec : kParamTable) {
        if (spec.kind != ParamKind::Decibel) {
            continue;
        }
        EXPECT_EQ(spec.sliderMin, 0);
        EXPECT_EQ(spec.sliderMax, 20);
        EXPECT_EQ(spec.editMin + spec.sliderOffset, spec.sliderMin) << spec.key;
        EXPECT_EQ(spec.editMax + spec.sliderOffset, spec.sliderMax) << spec.key;
        EXPECT_EQ(spec.editValidated, spec.sliderId == 2011 || spec.sliderId == 2013);
    }
    const ParamSpec* dark = FindParam("Dark Correction");
    ASSERT_NE(dark, nullptr);
    EXPECT_STREQ(dark->tooltip, "Alters noise threshold for dark areas");
    EXPECT_EQ(dark->editId, 2016);
}

}  // namespace
}  // namespace vel
