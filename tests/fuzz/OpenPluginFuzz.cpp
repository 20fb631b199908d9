// The plug-in through its exports: random settings loaded with SetSettings, then a silent
// OpenPlugin on a small image whose values include NaN, infinities and 1e30. Whatever the
// run gives, nothing crashes or leaks, the result is one the header lists, and a run
// that did not complete leaves the pixels exactly as passed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "plugin/VELNoiseReduction.h"

extern "C" {
void GetSettings(const char* settingsPath, int32_t slot);
void SetSettings(const char* settingsPath, int32_t slot);
void OpenPlugin(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                int32_t reserved1, int32_t reserved2, const char* imageProfilePath,
                const char* displayProfilePath);
int32_t GetLastRunResult(void);
int32_t GetNoiseProfile(float* levels, int32_t capacity);
}

namespace {

int32_t FuzzedSetting(velfuzz::ByteReader& in) {
    const int kind = in.InRange(0, 3);
    return kind == 0 ? in.InRange(-12, 22)
           : kind == 1
               ? in.Pick<int32_t>({std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max(), -1000, 1000, -1765431345})
               : static_cast<int32_t>(in.Word());
}

float FuzzedSample(velfuzz::ByteReader& in) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const int kind = in.InRange(0, 7);
    if (kind == 0) {
        return in.Pick<float>({std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, 1e30f, -1e30f,
                               0.0f, 1.0f, std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::max()});
    }
    if (kind == 1) {
        const uint32_t bits = in.Word();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    return static_cast<float>(in.InRange(-256, 1280)) / 1024.0f;  // -0.25 .. 1.25
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    velfuzz::ByteReader in(data, size);
    const int32_t width = in.InRange(1, 70);
    const int32_t height = in.InRange(1, 70);
    // Only the low byte counts; non-zero there is a silent run.
    const int32_t noInteraction =
        in.InRange(1, 255) | static_cast<int32_t>(in.Word() & ~uint32_t{0xff});

    std::string settings = "[VEL Noise Reduction 3]\r\n";
    for (const char* key : {"Luma Threshold", "Chroma Threshold", "Luma Suppression",
                            "Chroma Suppression", "Link Luma Chroma", "High Quality",
                            "Reanalyze Whole", "Light Correction", "Dark Correction"}) {
        settings.append(key).append("=").append(std::to_string(FuzzedSetting(in))).append("\r\n");
    }
    const std::string path = velfuzz::ScratchPath("host.ini");
    velfuzz::WriteFile(path, settings);
    SetSettings(path.c_str(), 3);

    // Samples repeat once the input runs out, so that small inputs still vary the image.
    std::vector<float> pattern;
    while (pattern.size() < 64 && in.Remaining() > 0) {
        pattern.push_back(FuzzedSample(in));
    }
    pattern.resize(std::max<std::size_t>(pattern.size(), 1), 0.5f);
    std::vector<float> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = pattern[i % pattern.size()];
    }
    const std::vector<float> before = pixels;
    OpenPlugin(noInteraction, width, height, pixels.data(), 0, 0, nullptr, nullptr);
    const int32_t result = GetLastRunResult();
    velfuzz::FailIf(result != VEL_RUN_COMPLETED && result != VEL_RUN_NOT_POSSIBLE,
                    "a silent run without cancel ended neither completed nor not possible");
    velfuzz::FailIf(result != VEL_RUN_COMPLETED && std::memcmp(before.data(), pixels.data(),
                                                               pixels.size() * sizeof(float)) != 0,
                    "a run that did not complete changed the pixels");
    float profile[48];
    const int32_t levels = GetNoiseProfile(profile, 48);
    velfuzz::FailIf(levels != 0 && levels != 48, "the noise profile has an unexpected size");
    GetSettings(path.c_str(), 3);
    return 0;
}
