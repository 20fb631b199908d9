#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "WaveletTestSupport.h"

namespace vel::test {
namespace {

constexpr WaveletKind kKinds[] = {WaveletKind::Isotropic, WaveletKind::Directional};

void Decompose(const Plane& p, const BandBlock& block, int32_t w, int32_t h, int32_t levels,
               WaveletKind kind) {
    WaveletDecompose(PackedPlane(p.data(), w, h), block.table(), levels, kind, 0);
}

void Reconstruct(Plane& out, const BandBlock& block, int32_t w, int32_t h, int32_t levels,
                 WaveletKind kind) {
    WaveletReconstruct(PackedPlane(out.data(), w, h), block.table(), levels, kind, 0);
}

// Reconstructs into the decomposed plane itself, as the engine does; returns the worst error.
double RoundTripError(const Plane& p, int32_t w, int32_t h, int32_t levels, WaveletKind kind) {
    BandBlock block(w, h, levels, kind);
    Plane out = p;
    Decompose(out, block, w, h, levels, kind);
    Reconstruct(out, block, w, h, levels, kind);
    double worst = 0.0;
    for (size_t i = 0; i < p.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(out[i]) - static_cast<double>(p[i])));
    }
    return worst;
}

// Small integers keep every band a short dyadic fraction: their round trip is exact.
TEST(WaveletRoundTrip, EverySizeUpToFortyReturnsTheInput) {
    for (WaveletKind kind : kKinds) {
        for (int32_t h = 1; h <= 40; ++h) {
            for (int32_t w = 1; w <= 40; ++w) {
                SCOPED_TRACE(testing::Message()
                             << w << "x" << h << " kind " << static_cast<int>(kind));
                const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w * 41 + h));
                ASSERT_LE(RoundTripError(p, w, h, 4, kind), ReconstructionTolerance(4, 255.0f));
                ASSERT_EQ(RoundTripError(IntegerPlane(w, h, 77), w, h, 4, kind), 0.0);
            }
        }
    }
}

TEST(WaveletRoundTrip, LongThinPlanesAndManyLevels) {
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {1, 300}, {300, 1}, {2, 300},
                                                 {300, 2}, {3, 257}, {513, 5}, {64, 64}};
    for (WaveletKind kind : kKinds) {
        for (auto [w, h] : sizes) {
            const Plane p = RandomPlane(w, h, static_cast<uint32_t>(w + 7 * h), -1000.0f, 1000.0f);
            for (int32_t levels : {1, 2, 4, 7, 12}) {
                ASSERT_LE(RoundTripError(p, w, h, levels, kind),
                          ReconstructionTolerance(levels, 1000.0f))
                    << w << "x" << h << " levels " << levels;
            }
        }
    }
}

// A constant plane is its own approximation with zero details at every level and comes back
// bit for bit. The float sums c + c + c + c and c/4 + c/2 + c/4 must round back to 4c and c
// for any c whose sixteenth is still a normal float (quartering a subnormal drops bits) and
// whose four-fold is finite.
TEST(WaveletDecompose, ConstantPlaneIsExactAtEveryLevel) {
    const auto check = [](float c, int32_t w, int32_t h, int32_t levels, WaveletKind kind) {
        SCOPED_TRACE(testing::Message()
                     << c << " " << w << "x" << h << " kind " << static_cast<int>(kind));
        const Plane p(static_cast<size_t>(w * h), c);
        BandBlock block(w, h, levels, kind);
        Decompose(p, block, w, h, levels, kind);
        for (int32_t j = 0; j < levels; ++j) {
            for (int32_t b = 0; b < block.bandsPerLevel(); ++b) {
                ASSERT_TRUE(
                    SameBits(CopyBand(block.band(j, b), w, h), b == 0 ? p : Plane(p.size(), 0.0f)))
                    << j << " " << b;
            }
        }
        Plane out(p.size(), -1.0f);
        Reconstruct(out, block, w, h, levels, kind);
        ASSERT_TRUE(SameBits(out, p));
    };
    std::mt19937 rng(20);
    std::uniform_int_distribution<uint32_t> mantissa(0, (1u << 23) - 1);
    std::uniform_int_distribution<int> exponent(-122, 125);
    for (WaveletKind kind : kKinds) {
        for (auto [w, h] :
             {std::pair{1, 1}, std::pair{2, 3}, std::pair{17, 9}, std::pair{40, 33}}) {
            for (float c : {0.0f, 1.0f, 0.1f, -3.7f, 254.99f, 1e-30f, 3e37f}) {
                check(c, w, h, 6, kind);
            }
        }
    }
    for (int n = 0; n < 300; ++n) {
        const float unit = 1.0f + std::ldexp(static_cast<float>(mantissa(rng)), -23);
        const float c = std::ldexp(unit, exponent(rng)) * (n % 2 == 0 ? 1.0f : -1.0f);
        for (WaveletKind kind : kKinds) {
            check(c, 5, 4, 3, kind);
        }
    }
}

// Level j reads only band 0 of level j - 1: each level's bands add up to that level's source.
TEST(WaveletDecompose, EachLevelSplitsTheApproximationAbove) {
    const int32_t w = 31, h = 26;
    const Plane p = IntegerPlane(w, h, 8, 200);
    for (WaveletKind kind : kKinds) {
        BandBlock block(w, h, 4, kind);
        Decompose(p, block, w, h, 4, kind);
        for (int32_t j = 0; j < 4; ++j) {
            const float* source = j == 0 ? p.data() : block.band(j - 1, 0);
            for (size_t i = 0; i < p.size(); ++i) {
                float sum = 0.0f;
                for (int32_t b = 0; b < block.bandsPerLevel(); ++b) {
                    sum += block.band(j, b)[i];
                }
                ASSERT_EQ(sum, source[i]) << j << " " << i;
            }
        }
    }
}

// Isotropic reconstruction leaves the whole table untouched. Directional leaves the residual
// and every detail band as they were and rebuilds band 0 of each level j - 1 as the sum of
// level j's bands.
TEST(WaveletReconstruct, ChangesOnlyTheApproximationsItRebuilds) {
    const int32_t w = 21, h = 34;
    const Plane p = RandomPlane(w, h, 12);
    for (WaveletKind kind : kKinds) {
        const bool directional = kind == WaveletKind::Directional;
        BandBlock block(w, h, 4, kind);
        Decompose(p, block, w, h, 4, kind);
        block.band(3, 1)[40] -= 7.0f;
        block.band(1, 1)[100] += 2.5f;
        const std::vector<Plane> before = CopyTable(block, w, h);
        Plane out(p.size());
        Reconstruct(out, block, w, h, 4, kind);
        const std::vector<Plane> after = CopyTable(block, w, h);
        for (size_t e = 0; e < after.size(); ++e) {
            if (!(directional && e % 4 == 0 && e / 4 < 3)) {
                EXPECT_EQ(after[e], before[e]) << "kind " << directional << " entry " << e;
            }
        }
        // The coarse change reaches the output, the fine one too.
        EXPECT_NEAR(out[100], p[100] + 2.5f, 1e-3f);
        for (int32_t j = 1; directional && j <= 4; ++j) {
            const float* target = j == 1 ? out.data() : block.band(j - 2, 0);
            for (size_t i = 0; i < p.size(); ++i) {
                const double sum = static_cast<double>(block.band(j - 1, 0)[i]) +
                                   static_cast<double>(block.band(j - 1, 1)[i]) +
                                   static_cast<double>(block.band(j - 1, 2)[i]) +
                                   static_cast<double>(block.band(j - 1, 3)[i]);
                ASSERT_NEAR(static_cast<double>(target[i]), sum,
                            4.0 * 255.0 * static_cast<double>(FLT_EPSILON))
                    << j << " " << i;
            }
        }
    }
}

// The reconstruction is a plain sum: moving one detail coefficient by delta moves that one
// output sample by exactly delta.
TEST(WaveletReconstruct, ChangingOneDetailCoefficientMovesOneSample) {
    const int32_t w = 24, h = 19;
    const Plane p = IntegerPlane(w, h, 13);
    const float delta = 0.75f;
    const size_t at = static_cast<size_t>(7 * w + 11);
    for (WaveletKind kind : kKinds) {
        const int32_t s = BandsPerLevel(kind);
        for (int32_t j = 0; j < 4; ++j) {
            for (int32_t b = 1; b < s; ++b) {
                BandBlock block(w, h, 4, kind);
                Decompose(p, block, w, h, 4, kind);
                block.band(j, b)[at] += delta;
                Plane out(p.size());
                Reconstruct(out, block, w, h, 4, kind);
                for (size_t i = 0; i < p.size(); ++i) {
                    ASSERT_EQ(out[i], i == at ? p[i] + delta : p[i])
                        << "kind " << static_cast<int>(kind) << " level " << j << " band " << b
                        << " sample " << i;
                }
            }
        }
    }
}

// A kind value from outside the enumeration is the isotropic kind, with its two bands.
TEST(WaveletDecompose, UnknownKindIsIsotropic) {
    const int32_t w = 13, h = 8;
    const Plane p = RandomPlane(w, h, 19);
    const auto unknown = static_cast<WaveletKind>(7);
    ASSERT_EQ(BandsPerLevel(unknown), 2);
    BandBlock expected(w, h, 3, WaveletKind::Isotropic);
    BandBlock actual(w, h, 3, unknown);
    Decompose(p, expected, w, h, 3, WaveletKind::Isotropic);
    Decompose(p, actual, w, h, 3, unknown);
    EXPECT_EQ(CopyTable(actual, w, h), CopyTable(expected, w, h));
    Plane outExpected(p.size());
    Plane outActual(p.size());
    Reconstruct(outExpected, expected, w, h, 3, WaveletKind::Isotropic);
    Reconstruct(outActual, actual, w, h, 3, unknown);
    EXPECT_TRUE(SameBits(outActual, outExpected));
}

TEST(WaveletDecompose, NoLevelsWritesNothing) {
    const int32_t w = 6, h = 4;
    const Plane p = RandomPlane(w, h, 14);
    for (WaveletKind kind : kKinds) {
        BandBlock block(w, h, 2, kind);
        for (int32_t j = 0; j < 2; ++j) {
            for (int32_t b = 0; b < block.bandsPerLevel(); ++b) {
                std::fill_n(block.band(j, b), w * h, 42.0f);
            }
        }
        const std::vector<Plane> sentinel = CopyTable(block, w, h);
        for (int32_t levels : {0, -1, std::numeric_limits<int32_t>::min()}) {
            WaveletDecompose(PackedPlane(p.data(), w, h), block.table(), levels, kind, 0);
            EXPECT_EQ(CopyTable(block, w, h), sentinel);
            // Nothing to sum: the output keeps what it held.
            Plane out = p;
            WaveletReconstruct(PackedPlane(out.data(), w, h), block.table(), levels, kind, 0);
            EXPECT_TRUE(SameBits(out, p));
        }
    }
}

// A view of a rectangle inside a wider plane decomposes as a packed copy of that rectangle
// does, leaves the plane unchanged, and the reconstruction through the view writes only the
// rectangle, over whatever it held.
TEST(WaveletDecompose, RectangleViewActsAsAPackedCopy) {
    const int32_t outerW = 31, outerH = 19, x0 = 5, y0 = 3, w = 17, h = 13;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (WaveletKind kind : kKinds) {
        const Plane outer = RandomPlane(outerW, outerH, 15);
        Plane packed(static_cast<size_t>(w * h));
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                packed[static_cast<size_t>(y * w + x)] =
                    outer[static_cast<size_t>((y0 + y) * outerW + x0 + x)];
            }
        }
        BandBlock expected(w, h, 3, kind), actual(w, h, 3, kind);
        Decompose(packed, expected, w, h, 3, kind);
        Plane in = outer;
        const PlaneView view{in.data() + y0 * outerW + x0, w, h, outerW};
        WaveletDecompose(view, actual.table(), 3, kind, 0);
        EXPECT_TRUE(SameBits(in, outer));
        EXPECT_EQ(CopyTable(actual, w, h), CopyTable(expected, w, h));

        Plane out(outer.size(), nan);
        Plane outPacked(packed.size(), nan);
        WaveletReconstruct({out.data() + y0 * outerW + x0, w, h, outerW}, actual.table(), 3, kind,
                           0);
        Reconstruct(outPacked, expected, w, h, 3, kind);
        for (int32_t y = 0; y < outerH; ++y) {
            for (int32_t x = 0; x < outerW; ++x) {
                const float v = out[static_cast<size_t>(y * outerW + x)];
                const bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
                if (!inside) {
                    ASSERT_TRUE(std::isnan(v)) << x << "," << y;
                } else {
                    ASSERT_EQ(v, outPacked[static_cast<size_t>((y - y0) * w + x - x0)])
                        << x << "," << y;
                }
            }
        }
    }
}

// NaN and infinities travel through the arithmetic without undefined behaviour and stay
// within the reach of the filters.
TEST(WaveletRoundTrip, NonFiniteSamplesStayLocal) {
    const int32_t w = 64, h = 64;
    for (WaveletKind kind : kKinds) {
        Plane p = RandomPlane(w, h, 18);
        p[0] = std::numeric_limits<float>::quiet_NaN();
        p[1] = std::numeric_limits<float>::infinity();
        p[w] = -std::numeric_limits<float>::infinity();
        p[2] = std::numeric_limits<float>::max();
        BandBlock block(w, h, 4, kind);
        Plane out = p;
        Decompose(out, block, w, h, 4, kind);
        Reconstruct(out, block, w, h, 4, kind);
        EXPECT_TRUE(std::isnan(out[0]));
        // Four levels reach 1 + 2 + 4 + 8 = 15 samples on each axis, twice over for the sum.
        for (int32_t y = 31; y < h; ++y) {
            for (int32_t x = 31; x < w; ++x) {
                const size_t i = static_cast<size_t>(y * w + x);
                ASSERT_NEAR(out[i], p[i], ReconstructionTolerance(4, 255.0f)) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace vel::test
