#include "framework/Bitmaps.h"

namespace vel::fw {

Bitmap MapButtonColours(const Bitmap& source) {
    Bitmap out = source;
    const struct {
        Colour from;
        SysColour to;
    } map[] = {{Rgb(0, 0, 0), SysColour::ButtonText},
               {Rgb(128, 128, 128), SysColour::ButtonShadow},
               {Rgb(192, 192, 192), SysColour::ButtonFace},
               {Rgb(255, 255, 255), SysColour::ButtonHighlight}};
    Colour to[4];
    for (int i = 0; i < 4; ++i) {
        to[i] = GetSysColor(map[i].to);
    }
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            uint8_t* p = out.Pixel(x, y);
            const Colour c = Rgb(p[2], p[1], p[0]);
            for (int i = 0; i < 4; ++i) {
                if (c == map[i].from) {
                    p[0] = BlueOf(to[i]);
                    p[1] = GreenOf(to[i]);
                    p[2] = RedOf(to[i]);
                    break;
                }
            }
        }
    }
    return out;
}

}  // namespace vel::fw
