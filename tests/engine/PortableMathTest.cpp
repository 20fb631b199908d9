#include "engine/PortableMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "engine/EngineParams.h"
#include "engine/TileGrid.h"

namespace vel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPiF = static_cast<double>(3.1415927f);  // the window's pi

// Distance in units in the last place between two finite doubles of any signs.
int64_t UlpDistance(double a, double b) {
    const auto ordered = [](double v) {
        const int64_t i = std::bit_cast<int64_t>(v);
        return i < 0 ? INT64_MIN - i : i;
    };
    const int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

TEST(PortableMathTest, ExpSpecialValues) {
    EXPECT_EQ(PortableExp(0.0), 1.0);
    EXPECT_EQ(PortableExp(-0.0), 1.0);
    EXPECT_EQ(PortableExp(1e-300), 1.0);
    EXPECT_EQ(PortableExp(-1e-300), 1.0);
    EXPECT_EQ(PortableExp(std::numeric_limits<double>::denorm_min()), 1.0);
    EXPECT_EQ(std::bit_cast<uint64_t>(PortableExp(1.0)), 0x4005BF0A8B145769u);  // e
    EXPECT_EQ(PortableExp(kInf), kInf);
    EXPECT_EQ(PortableExp(-kInf), 0.0);
    EXPECT_TRUE(std::isnan(PortableExp(std::nan(""))));
    // Largest argument with a finite result, and just past it.
    EXPECT_EQ(PortableExp(0x1.62e42fefa39efp+9), 0x1.fffffffffff2ap+1023);
    EXPECT_EQ(PortableExp(std::nextafter(0x1.62e42fefa39efp+9, kInf)), kInf);
    EXPECT_EQ(PortableExp(1e300), kInf);
    // Into the subnormal range (rounded twice there, so within a unit) and out of it.
    EXPECT_LE(UlpDistance(PortableExp(-708.5), 0x0.e6cf6d08897acp-1022), 1);
    EXPECT_EQ(PortableExp(-745.0), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(PortableExp(-746.0), 0.0);
    EXPECT_EQ(PortableExp(-1e300), 0.0);
    EXPECT_FALSE(std::signbit(PortableExp(-1e300)));
}

TEST(PortableMathTest, CosSpecialValuesAndSymmetry) {
    EXPECT_EQ(PortableCos(0.0), 1.0);
    EXPECT_EQ(PortableCos(-0.0), 1.0);
    EXPECT_EQ(PortableCos(1e-300), 1.0);
    EXPECT_EQ(PortableCos(std::numeric_limits<double>::denorm_min()), 1.0);
    EXPECT_EQ(PortableCos(std::numbers::pi), -1.0);
    EXPECT_EQ(PortableCos(2.0 * std::numbers::pi), 1.0);
    // The double nearest pi/2 lies 6.123e-17 below it, and cos there is that distance.
    EXPECT_EQ(PortableCos(std::numbers::pi / 2.0), 0x1.1a62633145c07p-54);
    EXPECT_TRUE(std::isnan(PortableCos(std::nan(""))));
    EXPECT_TRUE(std::isnan(PortableCos(kInf)));
    EXPECT_TRUE(std::isnan(PortableCos(-kInf)));
    for (const double x : {0.3, 1.0, 2.5, 4.0, 100.0, 12345.678, kPortableCosLimit}) {
        EXPECT_EQ(PortableCos(-x), PortableCos(x)) << x;
    }
    // Beyond the reduction's range the C library answers. The argument goes through a volatile
    // so that the compiler cannot fold std::cos into its own, correctly rounded, constant.
    for (const double x : {std::nextafter(kPortableCosLimit, kInf), 1e6, -1e300}) {
        const volatile double arg = x;
        EXPECT_EQ(std::bit_cast<uint64_t>(PortableCos(x)), std::bit_cast<uint64_t>(std::cos(arg)))
            << x;
    }
}

#if defined(__GLIBC__)

// The engine stores these values as float32; with the portable functions they must keep the
// bits glibc's exp and cos gave them before, for every value the settings and tile sizes reach.
TEST(PortableMathGlibcTest, DecibelAmplitudesKeepTheirBits) {
    const double k = static_cast<double>(DecibelConstant());
    for (int32_t dB = -1000; dB <= 1000; ++dB) {
        ASSERT_EQ(DecibelToAmplitude(dB), static_cast<float>(std::exp(static_cast<double>(dB) * k)))
            << dB;
    }
    for (const int32_t dB : {INT32_MIN, INT32_MIN + 1, -20000, -7000, -6500, 6000, 7000, 20000,
                             INT32_MAX - 1, INT32_MAX}) {
        EXPECT_EQ(DecibelToAmplitude(dB), static_cast<float>(std::exp(static_cast<double>(dB) * k)))
            << dB;
    }
    EXPECT_EQ(DecibelToAmplitude(INT32_MIN), 0.0f);
    EXPECT_TRUE(std::isinf(DecibelToAmplitude(INT32_MAX)));
}

TEST(PortableMathGlibcTest, BlendingWindowsKeepTheirBits) {
    for (int32_t overlap = 1; overlap <= 256; ++overlap) {
        const TileGrid grid(64, 64, 2 * overlap + 8, overlap);
        ASSERT_EQ(grid.window.size(), static_cast<size_t>(2 * overlap));
        for (int32_t i = 0; i < 2 * overlap; ++i) {
            const double phase =
                (static_cast<double>(i) + 0.5) * kPiF / static_cast<double>(overlap);
            ASSERT_EQ(grid.window[static_cast<size_t>(i)],
                      static_cast<float>(0.5 * (1.0 - std::cos(phase))))
                << overlap << " " << i;
        }
    }
}

// Dense sweeps over the whole finite range of exp and the reduced range of cos: within one
// unit of glibc, and within 0.55 (exp, normal results) or 0.65 (cos) of the long double
// functions, which glibc computes to about 64 bits.
TEST(PortableMathGlibcTest, ExpSweep) {
    double worst = 0.0;
    for (double x = -745.0; x < 709.78; x += 0.00137) {
        const double got = PortableExp(x);
        ASSERT_LE(UlpDistance(got, std::exp(x)), 1) << x;
        if (x > -708.0) {
            const long double ref = std::exp(static_cast<long double>(x));
            const long double ulp = std::ldexp(1.0L, std::ilogb(ref) - 52);
            const double err =
                static_cast<double>(std::fabs(static_cast<long double>(got) - ref) / ulp);
            worst = std::max(worst, err);
        }
    }
    EXPECT_LT(worst, 0.55);
}

TEST(PortableMathGlibcTest, CosSweep) {
    double worst = 0.0;
    const auto check = [&](double x) {
        const double got = PortableCos(x);
        ASSERT_LE(UlpDistance(got, std::cos(x)), 1) << x;
        const long double ref = std::cos(static_cast<long double>(x));
        const long double ulp = std::ldexp(1.0L, std::ilogb(ref) - 52);
        worst = std::max(worst,
                         static_cast<double>(std::fabs(static_cast<long double>(got) - ref) / ulp));
    };
    for (double x = -10.0; x <= 10.0; x += 0.0000371) {
        check(x);
    }
    for (double x = 10.0; x <= kPortableCosLimit; x += 1.37) {
        check(x);
    }
    // Next to multiples of pi/2, where the reduced argument is smallest.
    for (int n = 1; n < 300000; n += 97) {
        const double x = static_cast<double>(static_cast<long double>(n) * 1.5707963267948966192L);
        check(std::nextafter(x, 0.0));
        check(x);
        check(std::nextafter(x, kInf));
    }
    EXPECT_LT(worst, 0.65);
}

#endif

}  // namespace
}  // namespace vel
