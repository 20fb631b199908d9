// velnr-demo: the helpers of tools/demo.sh. Adds seeded synthetic noise to a picture,
// measures PSNR against the clean picture, and puts two pictures side by side.
//
//   velnr-demo noise CLEAN NOISY SIGMA SEED   Gaussian noise of SIGMA (0..1 scale) per sample
//   velnr-demo psnr CLEAN OTHER               prints the PSNR of OTHER against CLEAN in dB
//   velnr-demo side-by-side LEFT RIGHT OUT    LEFT | RIGHT with a white gap

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "host/ImageIO.h"

namespace {

bool Load(const std::string& path, velnr::Image& image) {
    std::string error;
    if (!velnr::ReadImage(path, image, error)) {
        std::fprintf(stderr, "velnr-demo: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool Save(const std::string& path, const velnr::Image& image) {
    velnr::FileFormat format{};
    std::string error;
    if (!velnr::FormatFromExtension(path, format)) {
        std::fprintf(stderr, "velnr-demo: %s: use .png, .tif or .jpg\n", path.c_str());
        return false;
    }
    if (!velnr::WriteImage(path, format, image, {}, error)) {
        std::fprintf(stderr, "velnr-demo: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Box-Muller on the engine's raw output: the same numbers with every standard library.
double Gaussian(std::mt19937_64& random) {
    constexpr double kScale = 1.0 / 18446744073709551616.0;  // 2^-64
    const double u1 = (static_cast<double>(random()) + 1.0) * kScale;
    const double u2 = static_cast<double>(random()) * kScale;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

int AddNoise(const std::string& in, const std::string& out, double sigma, uint64_t seed) {
    velnr::Image image;
    if (!Load(in, image)) {
        return 1;
    }
    std::mt19937_64 random(seed);
    const size_t n = static_cast<size_t>(image.channels);
    for (size_t i = 0; i < image.samples.size(); ++i) {
        if (image.HasAlpha() && i % n == n - 1) {
            continue;
        }
        const double v = static_cast<double>(image.samples[i]) + sigma * Gaussian(random);
        image.samples[i] = static_cast<float>(v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v));
    }
    return Save(out, image) ? 0 : 1;
}

int Psnr(const std::string& cleanPath, const std::string& otherPath) {
    velnr::Image clean;
    velnr::Image other;
    if (!Load(cleanPath, clean) || !Load(otherPath, other)) {
        return 1;
    }
    if (clean.width != other.width || clean.height != other.height ||
        clean.channels != other.channels) {
        std::fprintf(stderr, "velnr-demo: the pictures differ in size or channels\n");
        return 1;
    }
    // On the 8-bit scale both pictures were stored at.
    double sum = 0.0;
    for (size_t i = 0; i < clean.samples.size(); ++i) {
        const double d = static_cast<double>(velnr::QuantizeSample(clean.samples[i], 255)) -
                         static_cast<double>(velnr::QuantizeSample(other.samples[i], 255));
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(clean.samples.size());
    if (mse == 0.0) {
        std::printf("inf\n");
    } else {
        std::printf("%.2f\n", 10.0 * std::log10(255.0 * 255.0 / mse));
    }
    return 0;
}

int SideBySide(const std::string& leftPath, const std::string& rightPath, const std::string& out) {
    velnr::Image left;
    velnr::Image right;
    if (!Load(leftPath, left) || !Load(rightPath, right)) {
        return 1;
    }
    if (left.height != right.height || left.channels != right.channels) {
        std::fprintf(stderr, "velnr-demo: the pictures differ in height or channels\n");
        return 1;
    }
    constexpr int32_t kGap = 8;
    velnr::Image both = left;
    both.width = left.width + kGap + right.width;
    const size_t n = static_cast<size_t>(left.channels);
    both.samples.assign(static_cast<size_t>(both.width) * static_cast<size_t>(both.height) * n,
                        1.0f);
    for (int32_t y = 0; y < both.height; ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(both.width) * n;
        const float* l =
            &left.samples[static_cast<size_t>(y) * static_cast<size_t>(left.width) * n];
        const float* r =
            &right.samples[static_cast<size_t>(y) * static_cast<size_t>(right.width) * n];
        std::copy(l, l + static_cast<size_t>(left.width) * n, &both.samples[row]);
        std::copy(r, r + static_cast<size_t>(right.width) * n,
                  &both.samples[row + static_cast<size_t>(left.width + kGap) * n]);
    }
    return Save(out, both) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "noise" && argc == 6) {
        const double sigma = std::strtod(argv[4], nullptr);
        if (!(sigma >= 0.0 && sigma <= 1.0)) {
            std::fprintf(stderr, "velnr-demo: SIGMA must be 0..1\n");
            return 2;
        }
        return AddNoise(argv[2], argv[3], sigma, std::strtoull(argv[5], nullptr, 10));
    }
    if (command == "psnr" && argc == 4) {
        return Psnr(argv[2], argv[3]);
    }
    if (command == "side-by-side" && argc == 5) {
        return SideBySide(argv[2], argv[3], argv[4]);
    }
    std::fprintf(stderr,
                 "usage: velnr-demo noise CLEAN NOISY SIGMA SEED\n"
                 "       velnr-demo psnr CLEAN OTHER\n"
                 "       velnr-demo side-by-side LEFT RIGHT OUT\n");
    return 2;
}
