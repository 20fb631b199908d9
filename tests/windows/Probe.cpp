// Helper program of the Windows tests.
//   velnr_probe signal NAME        sets the named event NAME (another process's signal)
//   velnr_probe record FILE ...    writes its whole command line into FILE (an opened program)
//   velnr_probe run DLL FILE       one silent run of the plug-in DLL on the two-process test's
//                                  picture; writes the resulting pixels into FILE

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "plugin/VELNoiseReduction.h"
#include "tests/run/TestImages.h"
#include "tests/windows/WindowsTestSupport.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "signal") == 0) {
        return vel::platform::SignalNamedEvent(argv[2]) ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "record") == 0) {
        // Written under a temporary name and renamed, so a reader never sees half of it.
        const std::string temp = std::string(argv[2]) + ".part";
        if (!(std::ofstream(temp, std::ios::binary) << GetCommandLineA())) {
            return 2;
        }
        return MoveFileExA(temp.c_str(), argv[2], MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
    }
    if (argc == 4 && std::strcmp(argv[1], "run") == 0) {
        HMODULE module = LoadLibraryA(argv[2]);
        FARPROC symbol = module ? GetProcAddress(module, "OpenPlugin") : nullptr;
        if (!symbol) {
            return 4;
        }
        VelOpenPluginFn openPlugin = nullptr;
        std::memcpy(&openPlugin, &symbol, sizeof openPlugin);
        std::vector<float> pixels = vel::test::NoisyImage(
            vel::kTwoProcessWidth, vel::kTwoProcessHeight, vel::kTwoProcessSeed);
        openPlugin(1, vel::kTwoProcessWidth, vel::kTwoProcessHeight, pixels.data(), 0, 0, nullptr,
                   nullptr);
        std::ofstream out(argv[3], std::ios::binary);
        out.write(reinterpret_cast<const char*>(pixels.data()),
                  static_cast<std::streamsize>(pixels.size() * sizeof(float)));
        return out.flush() ? 0 : 2;
    }
    return 3;
}
