// Soak run of the plug-in as a host drives it: many silent runs in one process, then many
// load/run/unload cycles. Resident memory, threads and open descriptors must stay flat.
//   velnr_soak LIBRARY [RUNS [CYCLES]]      (defaults 1000 and 200)
// Prints the figures; exits 1 when a resource grew.

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/VELNoiseReduction.h"
#include "tests/run/TestImages.h"

namespace {

struct Usage {
    long residentKiB = 0;
    int threads = 0;
    int descriptors = 0;
};

Usage Measure() {
    Usage usage;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            usage.residentKiB = std::strtol(line.c_str() + 6, nullptr, 10);
        } else if (line.rfind("Threads:", 0) == 0) {
            usage.threads = static_cast<int>(std::strtol(line.c_str() + 8, nullptr, 10));
        }
    }
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            usage.descriptors += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(dir);
        usage.descriptors -= 1;  // the listing's own descriptor
    }
    return usage;
}

void Print(const char* phase, long step, const Usage& u) {
    std::printf("%-8s %6ld   rss %7ld KiB   threads %2d   descriptors %2d\n", phase, step,
                u.residentKiB, u.threads, u.descriptors);
    std::fflush(stdout);
}

template <typename Fn>
Fn Lookup(void* handle, const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

// One silent run of a small noisy picture with the whole-image analysis on.
bool RunOnce(void* library, const std::string& settings, uint64_t seed) {
    auto setSettings = Lookup<VelSetSettingsFn>(library, "SetSettings");
    auto openPlugin = Lookup<VelOpenPluginFn>(library, "OpenPlugin");
    auto result = Lookup<VelGetLastRunResultFn>(library, "GetLastRunResult");
    if (!setSettings || !openPlugin || !result) {
        return false;
    }
    setSettings(settings.c_str(), 0);
    std::vector<float> pixels = vel::test::NoisyImage(67, 45, seed);
    openPlugin(1, 67, 45, pixels.data(), 0, 0, nullptr, nullptr);
    return result() == VEL_RUN_COMPLETED;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velnr_soak LIBRARY [RUNS [CYCLES]]\n");
        return 2;
    }
    const long runs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
    const long cycles = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 200;
    const std::string settings = "/tmp/velnr-soak-" + std::to_string(::getpid()) + ".ini";
    std::ofstream(settings) << "[VEL Noise Reduction 0]\nReanalyze Whole=1\nHigh Quality=1\n";

    // Warm-up: the first runs settle the allocator's pools and the library's lazy state.
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "velnr_soak: %s\n", dlerror());
        return 2;
    }
    bool ok = true;
    for (int i = 0; i < 20; ++i) {
        ok = RunOnce(library, settings, static_cast<uint64_t>(i)) && ok;
    }
    const Usage start = Measure();
    Print("runs", 0, start);
    Usage afterRuns = start;
    for (long i = 1; i <= runs; ++i) {
        ok = RunOnce(library, settings, static_cast<uint64_t>(i)) && ok;
        if (i % (runs / 4 > 0 ? runs / 4 : 1) == 0) {
            afterRuns = Measure();
            Print("runs", i, afterRuns);
        }
    }
    dlclose(library);

    // The first reload settles the loader's and the allocator's state once, as the warm-up
    // runs do for the runs; growth is what the later cycles add to it.
    Usage afterCycles = Measure();
    Usage firstCycle = afterCycles;
    for (long i = 1; i <= cycles; ++i) {
        library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        ok = library && RunOnce(library, settings, static_cast<uint64_t>(i)) && ok;
        if (library) {
            dlclose(library);
        }
        if (i == 1 || i % (cycles / 4 > 0 ? cycles / 4 : 1) == 0) {
            afterCycles = Measure();
            Print("cycles", i, afterCycles);
            if (i == 1) {
                firstCycle = afterCycles;
            }
        }
    }
    std::remove(settings.c_str());

    // Threads and descriptors must come back exactly; memory may move by allocator noise.
    constexpr long kSlackKiB = 4096;
    const bool flat =
        afterRuns.threads == start.threads && afterRuns.descriptors == start.descriptors &&
        afterRuns.residentKiB - start.residentKiB <= kSlackKiB &&
        afterCycles.threads == start.threads && afterCycles.descriptors == start.descriptors &&
        afterCycles.residentKiB - firstCycle.residentKiB <= kSlackKiB;
    std::printf("%s: %s\n", ok ? "every run completed" : "some runs did not complete",
                flat ? "memory, threads and descriptors flat" : "a resource grew");
    return ok && flat ? 0 : 1;
}
