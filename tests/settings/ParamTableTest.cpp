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
    for (const ParamInfo& param : kParamTable) {
        EXPECT_EQ(param.Get(initial), param.initial) << param.key;
        EXPECT_TRUE(keys.insert(param.key).second) << param.key;
        EXPECT_EQ((param.kind == ParamKind::Decibel), (param.intField != nullptr)) << param.key;
        EXPECT_EQ((param.kind == ParamKind::Switch), (param.boolField != nullptr)) << param.key;
        param.Set(marked, param.kind == ParamKind::Switch ? 0 : 1000);
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
    for (const ParamInfo& param : kParamTable) {
        if (param.kind != ParamKind::Decibel) {
            continue;
        }
        EXPECT_EQ(param.sliderMin, 0);
        EXPECT_EQ(param.sliderMax, 20);
        EXPECT_EQ(param.editMin + param.sliderOffset, param.sliderMin) << param.key;
        EXPECT_EQ(param.editMax + param.sliderOffset, param.sliderMax) << param.key;
        EXPECT_EQ(param.editValidated, param.sliderId == 2011 || param.sliderId == 2013);
    }
    const ParamInfo* dark = FindParam("Dark Correction");
    ASSERT_NE(dark, nullptr);
    EXPECT_STREQ(dark->tooltip, "Alters noise threshold for dark areas");
    EXPECT_EQ(dark->editId, 2016);
}

}  // namespace
}  // namespace vel
