// A minimal host for comparing platforms: loads the plug-in library at run time, and for a
// fixed list of images and settings calls SetSettings and a silent OpenPlugin, then writes
// every result's raw float bits to one file. The Linux and Windows builds of this program
// must write identical files. Built as velnr_big_picture_host, it runs one 45 MP picture
// instead (8256 x 5504, 545 MB): without --large-address-aware on i686 it shows that a run fits
// beside the host's picture in a 2 GiB address space.
//   velnr_silent_host LIBRARY OUTPUT WORKFOLDER

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/VELNoiseReduction.h"
#include "tests/run/PluginLibrary.h"
#include "tests/run/TestImages.h"

namespace {

struct Case {
    int32_t width, height;
    uint64_t seed;
    int32_t slot;
    const char* settings;  // the section's lines
};

// Tiny, odd and multi-tile sizes (tiles are 512 with an overlap of 32), both wavelet kinds,
// the whole-image analysis, and the tone corrections.
#ifdef VELNR_BIG_PICTURE
const Case kCases[] = {
    {8256, 5504, 45, 0, "Reanalyze Whole=1\nLight Correction=4\nDark Correction=-3\n"}};
#else
const Case kCases[] = {
    {1, 1, 1, 0, ""},
    {2, 3, 2, 1, "High Quality=0\n"},
    {37, 23, 3, 2, "Luma Threshold=-10\nChroma Threshold=10\n"},
    {97, 61, 4, 3, "High Quality=0\nLuma Suppression=20\nChroma Suppression=0\n"},
    {300, 200, 5, 4, "Reanalyze Whole=1\nLight Correction=7\nDark Correction=-5\n"},
    {600, 530, 6, 5, "Light Correction=-10\nDark Correction=10\nLink Luma Chroma=0\n"},
};
#endif

// FNV-1a over the 32-bit words of the bits, printed so that a difference is easy to place (by
// words: bytes take long under emulation).
uint64_t Fnv(const std::vector<float>& pixels) {
    uint64_t hash = 1469598103934665603ull;
    for (const float v : pixels) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        hash = (hash ^ bits) * 1099511628211ull;
    }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: velnr_silent_host LIBRARY OUTPUT WORKFOLDER\n");
        return 2;
    }
    const vel::test::PluginLibrary library(argv[1]);
    const auto setSettings = library.Find<VelSetSettingsFn>("SetSettings");
    const auto openPlugin = library.Find<VelOpenPluginFn>("OpenPlugin");
    if (!library.Loaded() || !setSettings || !openPlugin) {
        std::fprintf(stderr, "cannot load %s or its exports\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    const std::string settingsPath = std::string(argv[3]) + "/silent-run-settings.ini";
    for (const Case& c : kCases) {
        {
            std::ofstream settings(settingsPath, std::ios::binary);
            settings << "[VEL Noise Reduction " << c.slot << "]\n" << c.settings;
        }
        setSettings(settingsPath.c_str(), c.slot);
        std::vector<float> pixels = vel::test::NoisyImage(c.width, c.height, c.seed);
        if (pixels.empty()) {
            return 1;
        }
        // Values beyond the nominal range go in scaled and come back clamped.
        pixels[0] = 1.75f;
        pixels[pixels.size() - 1] = -0.25f;
        // A hash, not a copy: the big picture leaves no room for a second one.
        const uint64_t before = Fnv(pixels);
        openPlugin(1, c.width, c.height, pixels.data(), 0, 0, nullptr, nullptr);
        if (Fnv(pixels) == before && c.width * c.height > 16) {
            std::fprintf(stderr, "%dx%d: the run changed nothing\n", c.width, c.height);
            return 1;
        }
        std::printf("%4dx%-4d %016llx\n", c.width, c.height,
                    static_cast<unsigned long long>(Fnv(pixels)));
        out.write(reinterpret_cast<const char*>(pixels.data()),
                  static_cast<std::streamsize>(pixels.size() * sizeof(float)));
    }
    std::remove(settingsPath.c_str());
    return out.good() ? 0 : 1;
}
