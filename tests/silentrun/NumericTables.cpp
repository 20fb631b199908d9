// Writes the engine's numbers that come from exp and cos (decibel amplitudes, blending
// windows, and the double results of PortableExp and PortableCos over their ranges) as raw
// bits. Linux and Windows builds must write identical files: the engine computes these
// without the system maths libraries precisely so that they agree, and a last-bit difference
// here would change every output pixel.
//   velnr_numeric_tables OUTPUT

#include <cstdint>
#include <fstream>
#include <vector>

#include "engine/EngineParams.h"
#include "engine/PortableMath.h"
#include "engine/TileGrid.h"

namespace {

template <typename T>
void Write(std::ofstream& out, const std::vector<T>& values) {
    out.write(reinterpret_cast<const char*>(values.data()),
              static_cast<std::streamsize>(values.size() * sizeof(T)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    std::vector<float> engine;
    for (int32_t dB = -1000; dB <= 1000; ++dB) {
        engine.push_back(vel::DecibelToAmplitude(dB));
    }
    for (int32_t overlap = 1; overlap <= 256; ++overlap) {
        const vel::TileGrid grid(1000, 1000, 2 * overlap + 8, overlap);
        engine.insert(engine.end(), grid.window.begin(), grid.window.end());
    }
    std::vector<double> functions;
    for (double x = -745.0; x < 710.0; x += 0.0731) {
        functions.push_back(vel::PortableExp(x));
    }
    for (double x = -10.0; x <= 1000.0; x += 0.0517) {
        functions.push_back(vel::PortableCos(x));
    }
    std::ofstream out(argv[1], std::ios::binary);
    Write(out, engine);
    Write(out, functions);
    return out.good() ? 0 : 1;
}
