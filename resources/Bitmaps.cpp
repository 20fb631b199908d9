// The bitmaps, drawn by code so that both backends share one definition. Pure black, dark
// grey (128), light grey (192) and white are the button colours that a picture button maps
// to the system's; the pictures use them only where that mapping is wanted.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "resources/Resources.h"

namespace vel::res {

using fw::Bitmap;

namespace {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kShadow{128, 128, 128};
constexpr Rgb kFace{192, 192, 192};
constexpr Rgb kWhite{255, 255, 255};

Bitmap MakeBitmap(int width, int height, Rgb fill) {
    Bitmap b;
    b.width = width;
    b.height = height;
    b.stride = (width * 3 + 3) / 4 * 4;
    b.bits.assign(static_cast<size_t>(b.stride) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = fill.b;
            p[1] = fill.g;
            p[2] = fill.r;
        }
    }
    return b;
}

void Put(Bitmap& b, int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) {
        return;
    }
    uint8_t* p = b.Pixel(x, y);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

uint8_t Clamp(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A small deterministic generator for the grain, the same on every platform.
struct Grain {
    uint32_t state;
    int Next(int amplitude) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 16) % static_cast<uint32_t>(2 * amplitude + 1)) -
               amplitude;
    }
};

// A landscape of sky, sun and hills inside (x0, y0)-(x1, y1) exclusive, grainy left of the
// diagonal and clean right of it: the filter's work in one picture.
void DrawScene(Bitmap& b, int x0, int y0, int x1, int y1, int grainAmplitude) {
    Grain grain{12345u};
    const int w = x1 - x0;
    const int h = y1 - y0;
    const double sunX = x0 + w * 0.72;
    const double sunY = y0 + h * 0.30;
    const double sunR = std::max(2.0, h * 0.14);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double u = static_cast<double>(x - x0) / w;
            const double v = static_cast<double>(y - y0) / h;
            const double hill1 = 0.62 + 0.10 * std::sin(u * 5.0);
            const double hill2 = 0.78 + 0.06 * std::cos(u * 7.0 + 1.0);
            int r, g, bl;
            if (v > hill2) {
                r = 46;
                g = 110 - static_cast<int>(v * 30);
                bl = 52;
            } else if (v > hill1) {
                r = 86;
                g = 150 - static_cast<int>(v * 40);
                bl = 70;
            } else {
                r = 70 + static_cast<int>(v * 120);
                g = 120 + static_cast<int>(v * 90);
                bl = 215 - static_cast<int>(v * 30);
                const double dx = x - sunX;
                const double dy = y - sunY;
                if (dx * dx + dy * dy <= sunR * sunR) {
                    r = 250;
                    g = 214;
                    bl = 90;
                }
            }
            // Grain only on the left of the diagonal.
            if (static_cast<double>(x - x0) < (1.0 - v) * w * 0.35 + w * 0.3) {
                const int n = grain.Next(grainAmplitude);
                const int c = grain.Next(grainAmplitude / 2);
                r += n + c;
                g += n;
                bl += n - c;
            }
            Put(b, x, y, {Clamp(r), Clamp(g), Clamp(bl)});
        }
    }
}

void Frame(Bitmap& b, int x0, int y0, int x1, int y1, Rgb light, Rgb dark) {
    for (int x = x0; x < x1; ++x) {
        Put(b, x, y0, light);
        Put(b, x, y1 - 1, dark);
    }
    for (int y = y0; y < y1; ++y) {
        Put(b, x0, y, light);
        Put(b, x1 - 1, y, dark);
    }
}

// About button: a framed photo on the button face.
Bitmap AboutButton() {
    Bitmap b = MakeBitmap(60, 38, kFace);
    Frame(b, 2, 2, 58, 36, kWhite, kShadow);
    Frame(b, 3, 3, 57, 35, kShadow, kWhite);
    DrawScene(b, 4, 4, 56, 34, 36);
    return b;
}

// About box picture: the same scene, larger, with a black outline.
Bitmap AboutPicture() {
    Bitmap b = MakeBitmap(100, 80, kFace);
    Frame(b, 0, 0, 100, 80, kBlack, kBlack);
    DrawScene(b, 1, 1, 99, 79, 40);
    return b;
}

// Zoom button: a magnifying glass in button-text colour on the button face.
Bitmap ZoomGlass() {
    Bitmap b = MakeBitmap(13, 13, kFace);
    const double cx = 5.0;
    const double cy = 5.0;
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 13; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d >= 3.0 && d < 4.3) {
                Put(b, x, y, kBlack);
            } else if (d < 3.0) {
                Put(b, x, y, kWhite);
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        Put(b, 8 + i, 8 + i, kBlack);
        Put(b, 9 + i, 8 + i, kBlack);
        Put(b, 8 + i, 9 + i, kBlack);
    }
    // The plus sign of "zoom in".
    for (int i = 3; i <= 7; ++i) {
        Put(b, i, 5, kBlack);
        Put(b, 5, i, kBlack);
    }
    return b;
}

const std::map<int, Bitmap>& Bitmaps() {
    static const std::map<int, Bitmap> bitmaps = {
        {kAboutButtonBitmap, AboutButton()},
        {kAboutPictureBitmap, AboutPicture()},
        {kZoomBitmap, ZoomGlass()},
    };
    return bitmaps;
}

}  // namespace

const Bitmap* FindBitmap(int id) {
    const auto it = Bitmaps().find(id);
    return it == Bitmaps().end() ? nullptr : &it->second;
}

}  // namespace vel::res
