#include "engine/PortableMath.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace vel {
namespace {

// Everything below is plain double arithmetic, evaluated in a fixed order: with SSE2 and no
// contraction into fused multiply-adds, each step is one correctly rounded IEEE operation and
// its bits cannot depend on the platform.

// ln 2 in two parts: the high part has 32 significant bits, so k * kLn2Hi is exact for every
// k the range check lets through, and x - k * kLn2Hi is exact too.
constexpr double kLn2Hi = 0x1.62e42feep-1;
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;

// pi/2 in four parts: the first three have at most 33 significant bits, so n * part is exact
// for n < 2^20; together they carry about 157 bits, enough to keep the reduced argument
// accurate even next to a multiple of pi/2.
constexpr std::array<double, 4> kHalfPi = {0x1.921fb544p+0, 0x1.0b4611a6p-34, 0x1.3198a2ep-69,
                                           0x1.b839a252049c1p-104};
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// 1/n!, correctly rounded at compile time (n! itself is exact in double for n <= 18).
constexpr double InverseFactorial(int n) {
    double f = 1.0;
    for (int i = 2; i <= n; ++i) {
        f *= static_cast<double>(i);
    }
    return 1.0 / f;
}

// Taylor series, which on the reduced intervals truncate far below one unit in the last
// place; coefficients from the highest power down, for Horner's scheme.
// (e^r - 1 - r - r^2/2) / r^3 = 1/3! + r/4! + ... + r^11/14!   for |r| <= ln(2)/2
constexpr std::array<double, 12> kExpTail = [] {
    std::array<double, 12> c{};
    for (size_t j = 0; j < c.size(); ++j) {
        c[c.size() - 1 - j] = InverseFactorial(static_cast<int>(j) + 3);
    }
    return c;
}();
// (cos r - 1 + z/2) / z^2 = 1/4! - z/6! + ... - z^7/18!   with z = r^2, |r| <= pi/4
constexpr std::array<double, 8> kCosTail = [] {
    std::array<double, 8> c{};
    for (size_t j = 0; j < c.size(); ++j) {
        const double sign = j % 2 == 0 ? 1.0 : -1.0;
        c[c.size() - 1 - j] = sign * InverseFactorial(2 * static_cast<int>(j) + 4);
    }
    return c;
}();
// (sin r - r + r^3/6) / (r z^2) = 1/5! - z/7! + ... - z^6/17!
constexpr std::array<double, 7> kSinTail = [] {
    std::array<double, 7> c{};
    for (size_t j = 0; j < c.size(); ++j) {
        const double sign = j % 2 == 0 ? 1.0 : -1.0;
        c[c.size() - 1 - j] = sign * InverseFactorial(2 * static_cast<int>(j) + 5);
    }
    return c;
}();

template <size_t N>
double Horner(const std::array<double, N>& c, double v) {
    double p = c[0];
    for (size_t i = 1; i < N; ++i) {
        p = p * v + c[i];
    }
    return p;
}

// hi + lo == a + b exactly, whatever the magnitudes (Knuth's two-sum).
struct Pair {
    double hi;
    double lo;
};
Pair TwoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// hi + lo == a exactly, each half with at most 26 significant bits (Veltkamp; |a| is small
// here, so the scaling cannot overflow).
Pair Split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// hi + lo == a * b exactly, barring underflow (Dekker's product).
Pair TwoProduct(double a, double b) {
    const Pair x = Split(a);
    const Pair y = Split(b);
    const double p = a * b;
    return {p, (((x.hi * y.hi - p) + x.hi * y.lo) + x.lo * y.hi) + x.lo * y.lo};
}

// Nearest integer (halves away from zero) for |v| < 2^30. Which neighbour a tie gives does not
// matter: the kernels accept a reduced argument a little beyond their interval.
int32_t RoundToInt(double v) {
    return static_cast<int32_t>(v < 0.0 ? v - 0.5 : v + 0.5);
}

// 2^e for e in [-1022, 1023], built from its bits.
double PowerOfTwo(int32_t e) {
    return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52);
}

// cos(hi + lo) for |hi| <= pi/4 (a little more is fine) and |lo| tiny against hi.
double CosKernel(double hi, double lo) {
    const Pair z = TwoProduct(hi, hi);
    // 1 - z/2 is rounded once, with its rounding error carried into the small tail.
    const double half = 0.5 * z.hi;
    const double w = 1.0 - half;
    const double wErr = (1.0 - w) - half;
    const double tail = z.hi * z.hi * Horner(kCosTail, z.hi) - 0.5 * z.lo - hi * lo;
    return w + (wErr + tail);
}

// sin(hi + lo), same domain. The leading hi - hi^3/6 is kept nearly exact, as it carries the
// bits the final rounding sees.
double SinKernel(double hi, double lo) {
    const Pair z = TwoProduct(hi, hi);
    const Pair cube = TwoProduct(hi, z.hi);
    const double rest = (cube.lo + hi * z.lo) / -6.0 + cube.hi * z.hi * Horner(kSinTail, z.hi) +
                        lo * (1.0 - 0.5 * z.hi);
    return hi + (cube.hi / -6.0 + rest);
}

}  // namespace

double PortableExp(double x) {
    if (std::isnan(x)) {
        return x;
    }
    // Beyond these bounds e^x is +inf or 0 anyway; inside them k below fits easily.
    if (x > 710.0) {
        return std::numeric_limits<double>::infinity();
    }
    if (x < -746.0) {
        return 0.0;
    }
    // x = k ln2 + r with |r| <= ln(2)/2, r kept as hi - lo.
    const int32_t k = RoundToInt(x * kInvLn2);
    const double kd = static_cast<double>(k);
    const double hi = x - kd * kLn2Hi;
    const double lo = kd * kLn2Lo;
    const double r = hi - lo;
    // e^r = 1 + hi + hi^2/2 + ((lo/2 - hi - 1) lo + r^3 p(r)): the leading terms are summed
    // exactly as pairs and the whole is rounded once at the end.
    const Pair square = TwoProduct(hi, hi);
    const Pair one = TwoSum(1.0, hi);
    const Pair lead = TwoSum(one.hi, 0.5 * square.hi);
    const double rest =
        0.5 * square.lo + (0.5 * lo - hi - 1.0) * lo + r * (r * r) * Horner(kExpTail, r);
    const double y = lead.hi + ((one.lo + lead.lo) + rest);
    // y * 2^k, exact while the result is normal; in the overflow and subnormal ranges the last
    // multiplication rounds (to inf, or to the subnormal grid).
    if (k > 1023) {
        return y * PowerOfTwo(k - 1023) * PowerOfTwo(1023);
    }
    if (k < -1021) {
        return y * PowerOfTwo(k + 1000) * PowerOfTwo(-1000);
    }
    return y * PowerOfTwo(k);
}

double PortableCos(double x) {
    if (std::isnan(x)) {
        return x;
    }
    const double ax = x < 0.0 ? -x : x;  // cos is even
    if (ax == std::numeric_limits<double>::infinity()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (ax > kPortableCosLimit) {
        return std::cos(x);
    }
    // ax = n pi/2 + r with |r| <= pi/4, r kept as a pair. Each n * part is exact; the
    // subtractions are carried out exactly and only the last, tiny part is rounded.
    const int32_t n = RoundToInt(ax * kTwoOverPi);
    const double nd = static_cast<double>(n);
    const Pair a = TwoSum(ax, -(nd * kHalfPi[0]));
    const Pair b = TwoSum(a.hi, -(nd * kHalfPi[1]));
    const Pair c = TwoSum(b.hi, -(nd * kHalfPi[2]));
    const double lo = ((a.lo + b.lo) + c.lo) - nd * kHalfPi[3];
    const Pair r = TwoSum(c.hi, lo);
    switch (n & 3) {
        case 0:
            return CosKernel(r.hi, r.lo);
        case 1:
            return -SinKernel(r.hi, r.lo);
        case 2:
            return -CosKernel(r.hi, r.lo);
        default:
            return SinKernel(r.hi, r.lo);
    }
}

}  // namespace vel
