// velnr against the real plug-in library: its output is exactly what the library gives for
// the same pixels and settings, and the host's cancel byte stops a run with the pixels intact.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "host/ImageIO.h"
#include "host/PluginLoader.h"

namespace velnr {
namespace {

#ifdef VELNR_REAL_PLUGIN

Image Smooth(int32_t w, int32_t h, int channels, SampleType type, uint32_t seed) {
    Image image = test::MakeImage(w, h, channels, type, seed);
    // A gradient with noise on top: something for the filter to do.
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            for (int k = 0; k < channels; ++k) {
                float& v = image.samples[(static_cast<size_t>(y) * w + x) * channels + k];
                v = 0.2f + 0.5f * static_cast<float>(x + k * 7) / static_cast<float>(w) +
                    0.1f * (v - 0.5f);
                if (type == SampleType::UInt16) {
                    v = static_cast<float>(QuantizeSample(v, 65535)) / 65535.0f;
                }
            }
        }
    }
    return image;
}

class RealLibrary : public testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(plugin_.Load(VELNR_REAL_PLUGIN, error)) << error;
    }
    Plugin plugin_;
};

TEST_F(RealLibrary, VelnrWritesExactlyWhatTheLibraryGives) {
    test::ScratchDir dir;
    const std::string settings = dir / "settings.ini";
    test::WriteText(settings,
                    "[VEL Noise Reduction 0]\r\nLuma Threshold=1\r\nChroma Threshold=2\r\n"
                    "Luma Suppression=10\r\nChroma Suppression=14\r\nLight Correction=-3\r\n"
                    "Dark Correction=4\r\nHigh Quality=0\r\nLink Luma Chroma=1\r\n"
                    "Reanalyze Whole=0\r\n");
    struct Case {
        const char* name;
        FileFormat format;
        SampleType type;
        int channels;
    } cases[] = {{"f.tif", FileFormat::Tiff, SampleType::Float32, 3},
                 {"g.png", FileFormat::Png, SampleType::UInt16, 4},
                 {"h.tif", FileFormat::Tiff, SampleType::UInt16, 1}};
    for (const Case& c : cases) {
        const Image in = Smooth(67, 45, c.channels, c.type, 5);
        std::string error;
        ASSERT_TRUE(WriteImage(dir / c.name, c.format, in, {}, error)) << error;
        const test::RunResult run =
            test::RunVelnr({"--plugin", VELNR_REAL_PLUGIN, "--settings", settings, "-q", "-o",
                            dir / (std::string("out-") + c.name), dir / c.name});
        ASSERT_EQ(run.status, 0) << run.err;
        Image out;
        ASSERT_TRUE(ReadImage(dir / (std::string("out-") + c.name), out, error)) << error;

        // The same pixels and settings, straight through the exports; velnr's silent runs
        // analyse the whole image, so the settings say so too.
        const std::string withReanalyze = dir / "reanalyze.ini";
        std::string text = test::ReadText(settings);
        text.replace(text.find("Reanalyze Whole=0"), 17, "Reanalyze Whole=1");
        test::WriteText(withReanalyze, text);
        plugin_.setSettings(withReanalyze.c_str(), 0);
        std::vector<float> rgb = ToHostRgb(in);
        const std::vector<float> before = rgb;
        plugin_.openPlugin(1, in.width, in.height, rgb.data(), 0, 0, nullptr, nullptr);
        ASSERT_NE(rgb, before) << "the filter changed nothing; the comparison would be empty";
        Image expected = in;
        FromHostRgb(rgb, expected);
        EXPECT_TRUE(test::SamplesEqual(expected, out)) << c.name;
        if (in.HasAlpha()) {
            for (size_t i = 3; i < in.samples.size(); i += 4) {
                ASSERT_EQ(out.samples[i], in.samples[i]);
            }
        }
    }
}

TEST_F(RealLibrary, CancelByteStopsTheRunAndLeavesThePixels) {
    ASSERT_NE(plugin_.setHostCallbacks, nullptr);
    const Image in = Smooth(300, 200, 3, SampleType::Float32, 6);
    for (int stopAfter : {1, 3, 6}) {
        struct Context {
            unsigned char cancel = 0;
            int calls = 0;
            int stopAfter = 0;
        } context;
        context.stopAfter = stopAfter;
        plugin_.setHostCallbacks(
            [](void* ctx, const char*, float) {
                auto* c = static_cast<Context*>(ctx);
                if (++c->calls >= c->stopAfter) {
                    c->cancel = 1;
                }
            },
            &context, &context.cancel);
        std::vector<float> rgb = ToHostRgb(in);
        const std::vector<float> before = rgb;
        plugin_.openPlugin(1, in.width, in.height, rgb.data(), 0, 0, nullptr, nullptr);
        plugin_.setHostCallbacks(nullptr, nullptr, nullptr);
        EXPECT_GE(context.calls, 1);
        EXPECT_EQ(std::memcmp(rgb.data(), before.data(), rgb.size() * sizeof(float)), 0)
            << "stopped after " << stopAfter << " progress calls";
    }
}

#endif

}  // namespace
}  // namespace velnr
