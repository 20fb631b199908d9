// What a silent run costs in memory beyond the host's picture, as a host sees it: the library
// is loaded at run time, the host's buffer is allocated and touched first, then the peak
// resident size is reset and one silent OpenPlugin runs. Prints the bytes per pixel that the
// run's peak adds to the resident size it started from.
//   velnr_run_memory LIBRARY [--sizes 6,24,61]
// Each case runs in a child process, so that neither the allocator's pools nor the peak of an
// earlier case count. Linux only: the peak is /proc's VmHWM, reset through clear_refs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "plugin/VELNoiseReduction.h"
#include "tests/run/PluginLibrary.h"
#include "tests/run/TestImages.h"

namespace {

struct Size {
    int megapixels;
    int32_t width, height;
};
constexpr Size kSizes[] = {{6, 3000, 2000}, {24, 6000, 4000}, {61, 9504, 6336}};

struct Settings {
    const char* name;
    const char* lines;  // the section's
};
constexpr Settings kSettings[] = {{"default", ""},
                                  {"high quality + whole", "High Quality=1\nReanalyze Whole=1\n"}};

struct Measured {
    int32_t result = -1;
    long startKiB = 0;  // resident before the run, the host's picture in it
    long peakKiB = 0;
    double seconds = 0.0;
};

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    const size_t length = std::strlen(field);
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, length, field) == 0) {
            return std::strtol(line.c_str() + length, nullptr, 10);
        }
    }
    return -1;
}

bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// In the child: one warm-up run of a small picture (the library's one-time state), then the
// measured run.
bool Measure(const char* libraryPath, const Size& size, const Settings& settings, Measured& m) {
    const vel::test::PluginLibrary library(libraryPath);
    const auto setSettings = library.Find<VelSetSettingsFn>("SetSettings");
    const auto openPlugin = library.Find<VelOpenPluginFn>("OpenPlugin");
    const auto lastResult = library.Find<VelGetLastRunResultFn>("GetLastRunResult");
    if (!setSettings || !openPlugin || !lastResult) {
        std::fprintf(stderr, "cannot load %s or its exports\n", libraryPath);
        return false;
    }
    const std::string settingsPath = "/tmp/velnr-run-memory-" + std::to_string(getpid()) + ".ini";
    std::ofstream(settingsPath) << "[VEL Noise Reduction 0]\n" << settings.lines;
    setSettings(settingsPath.c_str(), 0);
    std::remove(settingsPath.c_str());
    std::vector<float> warmUp = vel::test::NoisyImage(600, 530, 1);
    openPlugin(1, 600, 530, warmUp.data(), 0, 0, nullptr, nullptr);
    std::vector<float>().swap(warmUp);

    std::vector<float> pixels = vel::test::NoisyImage(size.width, size.height, 61);
    m.startKiB = StatusKiB("VmRSS:");
    if (!ResetPeak()) {
        std::fprintf(stderr, "cannot reset the peak (/proc/self/clear_refs)\n");
        return false;
    }
    const auto t0 = std::chrono::steady_clock::now();
    openPlugin(1, size.width, size.height, pixels.data(), 0, 0, nullptr, nullptr);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.peakKiB = StatusKiB("VmHWM:");
    m.result = lastResult();
    return m.startKiB > 0 && m.peakKiB > 0;
}

bool Listed(const char* list, int megapixels) {
    for (const char* p = list; *p;) {
        if (std::atoi(p) == megapixels) {
            return true;
        }
        const char* comma = std::strchr(p, ',');
        if (!comma) {
            break;
        }
        p = comma + 1;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const char* sizes = "6,24,61";
    if (argc == 4 && std::strcmp(argv[2], "--sizes") == 0) {
        sizes = argv[3];
    } else if (argc != 2) {
        std::fprintf(stderr, "usage: velnr_run_memory LIBRARY [--sizes 6,24,61]\n");
        return 2;
    }
    std::printf("%-11s %-21s %6s %10s %10s %8s %9s\n", "picture", "settings", "result", "host MiB",
                "run MiB", "seconds", "B/px");
    int failures = 0;
    for (const Size& size : kSizes) {
        if (!Listed(sizes, size.megapixels)) {
            continue;
        }
        const double pixels = static_cast<double>(size.width) * size.height;
        for (const Settings& settings : kSettings) {
            Measured m;
            const std::string picture =
                std::to_string(size.width) + "x" + std::to_string(size.height);
            if (!bench::InChildProcess(
                    [&](Measured& r) { return Measure(argv[1], size, settings, r); }, m)) {
                std::fprintf(stderr, "%s %s: the measurement failed\n", picture.c_str(),
                             settings.name);
                ++failures;
                continue;
            }
            const double added = static_cast<double>(m.peakKiB - m.startKiB) * 1024.0;
            std::printf("%-11s %-21s %6d %10.0f %10.0f %8.2f %9.2f\n", picture.c_str(),
                        settings.name, m.result, pixels * 12.0 / 1048576.0, added / 1048576.0,
                        m.seconds, added / pixels);
            std::fflush(stdout);
            failures += m.result == VEL_RUN_COMPLETED ? 0 : 1;
        }
    }
    std::printf(
        "B/px: the run's peak resident memory beyond the host's picture (12 B/px), "
        "per pixel\n");
    return failures == 0 ? 0 : 1;
}
