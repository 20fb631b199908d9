// Whole-image throughput: RunNoiseReduction (and the analysis before it) on synthetic 6 MP
// and 24 MP images of both kinds; prints megapixels per second and the peak resident memory.
//
//   bench_whole_image [--sizes 6,24] [--kinds 0,1]
//
// Each case runs in a child process so that its peak memory is its own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "engine/Jobs.h"

namespace {

struct Size {
    int megapixels;
    int32_t width;
    int32_t height;
};

constexpr Size kSizes[] = {{6, 3000, 2000}, {24, 6000, 4000}};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

int RunCase(const Size& size, bool highQuality) {
    const size_t n = static_cast<size_t>(size.width) * static_cast<size_t>(size.height);
    std::vector<float> planes[3];
    for (int c = 0; c < 3; ++c) {
        planes[c].resize(n);
        vel::bench::FillNoisy(planes[c].data(), n, size.width, 100u + static_cast<uint64_t>(c),
                              c == 0 ? 100.0f : 0.0f, c == 0 ? 6.0f : 4.0f);
    }
    vel::NoiseReductionParams params;
    params.highQuality = highQuality;
    params.lightCorrection = 3;  // exercise the tone correction too
    params.darkCorrection = 3;

    const vel::ImagePlanes image{
        {planes[0].data(), planes[1].data(), planes[2].data()}, size.width, size.height};
    const auto t0 = std::chrono::steady_clock::now();
    const std::vector<float> profile = vel::RunNoiseAnalysis(image, params, {}).value();
    const auto t1 = std::chrono::steady_clock::now();
    vel::RunNoiseReduction(image, params, profile, {});
    const auto t2 = std::chrono::steady_clock::now();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mp = static_cast<double>(n) / 1e6;
    std::printf(
        "%2d MP %-11s analysis %7.2f s (%6.2f MP/s)  reduction %7.2f s (%6.2f MP/s)  "
        "peak %6.0f MiB\n",
        size.megapixels, highQuality ? "directional" : "isotropic", Seconds(t1 - t0),
        mp / Seconds(t1 - t0), Seconds(t2 - t1), mp / Seconds(t2 - t1),
        static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::fflush(stdout);
    return 0;
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {6, 24};
    std::vector<int> kinds = {0, 1};
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--sizes") == 0) {
            sizes = ParseList(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--kinds") == 0) {
            kinds = ParseList(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: %s [--sizes 6,24] [--kinds 0,1]\n", argv[0]);
            return 2;
        }
    }
    int failures = 0;
    for (const Size& size : kSizes) {
        bool wanted = false;
        for (int s : sizes) {
            wanted = wanted || s == size.megapixels;
        }
        if (!wanted) {
            continue;
        }
        for (int kind : kinds) {
            const pid_t child = fork();
            if (child == 0) {
                std::_Exit(RunCase(size, kind != 0));
            }
            int status = 0;
            if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "%d MP kind %d failed\n", size.megapixels, kind);
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
