// Whole-image throughput: the analysis and RunNoiseReduction (with tone corrections) on
// synthetic 6 MP and 24 MP images of both kinds, the reference engine (one thread) against
// the fast one on 1 and 2 threads, in the same run; then a preview-sized reduction with a
// profile. Prints seconds, megapixels per second, the speed-up over the reference of this run,
// the processor seconds of all threads (steadier than the wall clock on a busy machine) and the
// peak resident memory.
//
//   bench_whole_image [--sizes 6,24] [--kinds 0,1] [--engines 0,1,2] [--preview-runs 20]
//                     [--repeat 1]
//
// --engines picks the rows (0 reference, 1 and 2 the fast engine on 1 and 2 threads); without
// the reference there is no speed-up to print, which suits a profiler run. --repeat N runs the
// engines of a whole-image case N times in turn and prints each one's median run (the peak
// memory is the largest): on a shared machine one run of each can be far off.
// Each case runs in a child process so that its peak memory is its own.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "bench/ChildProcess.h"
#include "engine/Jobs.h"
#include "engine/Kernels.h"
#include "engine/TileScheduler.h"

namespace {

struct Size {
    int megapixels;
    int32_t width;
    int32_t height;
};

constexpr Size kSizes[] = {{6, 3000, 2000}, {24, 6000, 4000}};
constexpr Size kPreview = {0, 318, 309};

struct Engine {
    const char* name;
    int32_t threads;
    bool reference;
};

// The first entry is the reference every speed-up is measured against.
constexpr Engine kEngines[] = {
    {"reference", 1, true}, {"fast 1 thread", 1, false}, {"fast 2 threads", 2, false}};

struct Measured {
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    double peakMiB = 0.0;
};

// Processor seconds of the measured parts, every thread of the process included.
double g_cpuSeconds = 0.0;

double CpuSeconds(std::clock_t from) {
    return static_cast<double>(std::clock() - from) / CLOCKS_PER_SEC;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The engine of the current case.
vel::RunContext g_context;

void Select(const Engine& engine) {
    g_context.config.threads = engine.threads;
    if (engine.reference) {
        g_context.config.kernels = nullptr;
    }
}

struct Image {
    std::vector<float> planes[3];
    vel::ImagePlanes view;
};

void Fill(Image& image, const Size& size) {
    const size_t n = static_cast<size_t>(size.width) * static_cast<size_t>(size.height);
    for (int c = 0; c < 3; ++c) {
        image.planes[c].resize(n);
        vel::bench::FillNoisy(image.planes[c].data(), n, size.width,
                              100u + static_cast<uint64_t>(c), c == 0 ? 100.0f : 0.0f,
                              c == 0 ? 6.0f : 4.0f);
    }
    image.view = {{image.planes[0].data(), image.planes[1].data(), image.planes[2].data()},
                  size.width,
                  size.height};
}

// The startup settings, with the tone corrections exercised too.
vel::EngineSettings Params(bool highQuality) {
    vel::EngineSettings params;
    params.lumaThreshold = -2;
    params.chromaThreshold = 1;
    params.lumaSuppression = 6;
    params.chromaSuppression = 12;
    params.highQuality = highQuality;
    params.lightCorrection = 3;
    params.darkCorrection = 3;
    return params;
}

// Analysis and reduction of one whole image; the seconds of both.
double WholeImage(const Size& size, bool highQuality) {
    Image image;
    Fill(image, size);
    const auto params = Params(highQuality);
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    const vel::NoiseProfile profile = vel::RunNoiseAnalysis(image.view, params, g_context).value();
    vel::RunNoiseReduction(image.view, params, &profile, g_context);
    g_cpuSeconds = CpuSeconds(c0);
    return Seconds(std::chrono::steady_clock::now() - t0);
}

// Seconds per preview: the reduction of a preview-sized image with a profile, as the dialog
// runs it.
double Preview(int runs) {
    Image source;
    Fill(source, kPreview);
    const auto params = Params(true);
    const vel::NoiseProfile profile = vel::RunNoiseAnalysis(source.view, params, g_context).value();
    double total = 0.0;
    for (int i = 0; i < runs; ++i) {
        Image image;
        Fill(image, kPreview);
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        vel::RunNoiseReduction(image.view, params, &profile, g_context);
        g_cpuSeconds += CpuSeconds(c0) / runs;
        total += Seconds(std::chrono::steady_clock::now() - t0);
    }
    return total / runs;
}

// Runs measure() in a child process; its seconds and peak memory come back through a pipe.
template <typename Measure>
bool InChild(const Engine& engine, Measure measure, Measured& result) {
    return bench::InChildProcess(
        [&](Measured& m) {
            Select(engine);
            m.seconds = measure();
            m.cpuSeconds = g_cpuSeconds;
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
            return true;
        },
        result);
}

std::vector<int> ParseList(const char* text) {
    std::vector<int> values;
    for (const char* p = text; *p;) {
        values.push_back(std::atoi(p));
        const char* comma = std::strchr(p, ',');
        if (!comma) {
            break;
        }
        p = comma + 1;
    }
    return values;
}

// The run of median seconds, with the largest peak memory of all.
Measured Median(std::vector<Measured> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
    Measured m = runs[runs.size() / 2];
    for (const Measured& r : runs) {
        m.peakMiB = std::max(m.peakMiB, r.peakMiB);
    }
    return m;
}

bool Contains(const std::vector<int>& values, int v) {
    for (int x : values) {
        if (x == v) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {6, 24};
    std::vector<int> kinds = {0, 1};
    std::vector<int> engines = {0, 1, 2};
    int previewRuns = 20;
    int repeat = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--sizes") == 0) {
            sizes = ParseList(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--kinds") == 0) {
            kinds = ParseList(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--engines") == 0) {
            engines = ParseList(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--preview-runs") == 0) {
            previewRuns = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--repeat") == 0) {
            repeat = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--sizes 6,24] [--kinds 0,1] [--engines 0,1,2] "
                         "[--preview-runs 20] [--repeat 1]\n",
                         argv[0]);
            return 2;
        }
    }
    int failures = 0;
    std::printf("%-26s %-15s %9s %8s %9s %8s %9s\n", "case (analysis+reduction)", "engine",
                "seconds", "MP/s", "speed-up", "cpu s", "peak MiB");
    for (const Size& size : kSizes) {
        if (!Contains(sizes, size.megapixels)) {
            continue;
        }
        for (const int kind : {0, 1}) {
            if (!Contains(kinds, kind)) {
                continue;
            }
            const double mp = static_cast<double>(size.width) * size.height / 1e6;
            const std::string label = std::to_string(size.megapixels) + " MP " +
                                      (kind != 0 ? "directional" : "isotropic");
            std::vector<std::vector<Measured>> runs(std::size(kEngines));
            for (int r = 0; r < repeat; ++r) {
                for (const Engine& engine : kEngines) {
                    const auto e = static_cast<size_t>(&engine - kEngines);
                    if (!Contains(engines, static_cast<int>(e))) {
                        continue;
                    }
                    Measured m;
                    if (!InChild(
                            engine, [&] { return WholeImage(size, kind != 0); }, m)) {
                        std::fprintf(stderr, "%s %s failed\n", label.c_str(), engine.name);
                        ++failures;
                        continue;
                    }
                    runs[e].push_back(m);
                }
            }
            double reference = 0.0;
            for (const Engine& engine : kEngines) {
                const auto e = static_cast<size_t>(&engine - kEngines);
                if (runs[e].empty()) {
                    continue;
                }
                const Measured m = Median(runs[e]);
                if (e == 0) {
                    reference = m.seconds;
                }
                std::printf("%-26s %-15s %9.2f %8.2f %8.2fx %8.2f %9.0f\n", label.c_str(),
                            engine.name, m.seconds, mp / m.seconds, reference / m.seconds,
                            m.cpuSeconds, m.peakMiB);
                std::fflush(stdout);
            }
        }
    }
    std::printf("\n%-26s %-15s %9s %8s %9s %8s %9s\n", "preview 318x309 hq profile", "engine", "ms",
                "", "speed-up", "cpu ms", "peak MiB");
    double reference = 0.0;
    for (const Engine& engine : kEngines) {
        if (!Contains(engines, static_cast<int>(&engine - kEngines))) {
            continue;
        }
        Measured m;
        if (!InChild(
                engine, [&] { return Preview(previewRuns); }, m)) {
            std::fprintf(stderr, "preview %s failed\n", engine.name);
            ++failures;
            continue;
        }
        if (&engine == &kEngines[0]) {
            reference = m.seconds;
        }
        std::printf("%-26s %-15s %9.2f %8s %8.2fx %8.2f %9.0f\n", "", engine.name,
                    m.seconds * 1000.0, "", reference / m.seconds, m.cpuSeconds * 1000.0,
                    m.peakMiB);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
