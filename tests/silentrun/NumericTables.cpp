// Writes the engine's numbers that come from the maths library (decibel amplitudes through
// exp, blending windows through cos) as raw float bits, for every value the settings can
// reach and more. Linux and Windows builds must write identical files: the system maths
// libraries differ, and a last-bit difference here would change every output pixel.
//   velnr_numeric_tables OUTPUT

#include <cstdint>
#include <fstream>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/TileGrid.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    std::vector<float> values;
    for (int32_t dB = -400; dB <= 400; ++dB) {
        values.push_back(vel::DecibelToAmplitude(dB));
    }
    for (const int32_t overlap : {1, 2, 3, 8, 16, 31, 32, 33, 64, 100}) {
        const vel::TileGrid grid(1000, 1000, 4 * overlap + 8, overlap);
        values.insert(values.end(), grid.window.begin(), grid.window.end());
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()),
              static_cast<std::streamsize>(values.size() * sizeof(float)));
    return out.good() ? 0 : 1;
}
