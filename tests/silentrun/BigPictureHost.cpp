// A host with one big picture: loads the plug-in library at run time, makes a seeded noisy
// 8256 x 5504 picture (45 MP, 545 MB), runs it silently with the whole-image analysis and the
// tone corrections, and writes the run's result and a hash of the output bits to OUTPUT.
// Built without --large-address-aware on i686, it shows that a run fits beside the host's
// picture in a 2 GiB address space. The Linux and Windows builds must write identical files.
//   velnr_big_picture_host LIBRARY OUTPUT WORKFOLDER [WIDTH HEIGHT]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/WinApi.h"
#endif

#include "plugin/VELNoiseReduction.h"
#include "tests/run/PluginLibrary.h"
#include "tests/run/TestImages.h"

namespace {

// What is left of the address space: in all, and in its largest free piece (the planes are
// one block). Shown, never written to the compared output.
void PrintAddressSpace() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    uint64_t largest = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (uintptr_t at = 0; VirtualQuery(reinterpret_cast<const void*>(at), &region,
                                        sizeof region) == sizeof region;) {
        if (region.State == MEM_FREE && region.RegionSize > largest) {
            largest = region.RegionSize;
        }
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= at) {
            break;
        }
        at = next;
    }
    std::printf("address space: %llu MiB of %llu MiB free, largest free piece %llu MiB\n",
                static_cast<unsigned long long>(status.ullAvailVirtual >> 20),
                static_cast<unsigned long long>(status.ullTotalVirtual >> 20),
                static_cast<unsigned long long>(largest >> 20));
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr,
                     "usage: velnr_big_picture_host LIBRARY OUTPUT WORKFOLDER [WIDTH HEIGHT]\n");
        return 2;
    }
    // A smaller picture for trying the program out; the test runs the default.
    const int32_t width = argc == 6 ? std::atoi(argv[4]) : 8256;
    const int32_t height = argc == 6 ? std::atoi(argv[5]) : 5504;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "bad size\n");
        return 2;
    }
    const vel::test::PluginLibrary library(argv[1]);
    const auto setSettings = library.Find<VelSetSettingsFn>("SetSettings");
    const auto openPlugin = library.Find<VelOpenPluginFn>("OpenPlugin");
    const auto lastResult = library.Find<VelGetLastRunResultFn>("GetLastRunResult");
    if (!library.Loaded() || !setSettings || !openPlugin || !lastResult) {
        std::fprintf(stderr, "cannot load %s or its exports\n", argv[1]);
        return 1;
    }
    const std::string settingsPath = std::string(argv[3]) + "/big-picture-settings.ini";
    std::ofstream(settingsPath, std::ios::binary)
        << "[VEL Noise Reduction 0]\nReanalyze Whole=1\nLight Correction=4\nDark Correction=-3\n";
    setSettings(settingsPath.c_str(), 0);
    std::remove(settingsPath.c_str());

    std::vector<float> pixels = vel::test::NoisyImage(width, height, 45);
    PrintAddressSpace();
    const auto start = std::chrono::steady_clock::now();
    openPlugin(1, width, height, pixels.data(), 0, 0, nullptr, nullptr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int32_t result = lastResult();
    // FNV-1a over the 32-bit words: a byte-wise hash of 545 MB takes long under emulation.
    uint64_t hash = 1469598103934665603ull;
    for (const float v : pixels) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        hash = (hash ^ bits) * 1099511628211ull;
    }
    char line[96];
    std::snprintf(line, sizeof line, "%dx%d result %d bits %016llx\n", width, height, result,
                  static_cast<unsigned long long>(hash));
    std::printf("%s(the run took %.1f s)\n", line, seconds);
    std::ofstream(argv[2], std::ios::binary) << line;
    if (result != VEL_RUN_COMPLETED) {
        std::fprintf(stderr, "the run did not complete (result %d%s)\n", result,
                     result == VEL_RUN_NOT_POSSIBLE ? ": not possible" : "");
        return 1;
    }
    return 0;
}
