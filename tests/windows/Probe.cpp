// Helper program of the Windows tests.
//   velnr_probe signal NAME        sets the named event NAME (another process's signal)
//   velnr_probe record FILE ...    writes its whole command line into FILE (an opened program)

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "signal") == 0) {
        return vel::platform::SignalNamedEvent(argv[2]) ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "record") == 0) {
        const std::string line = GetCommandLineA();
        // Written under a temporary name and renamed, so a reader never sees half of it.
        const std::string temp = std::string(argv[2]) + ".part";
        FILE* file = std::fopen(temp.c_str(), "wb");
        if (!file) {
            return 2;
        }
        const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        if (std::fclose(file) != 0 || !written) {
            return 2;
        }
        return MoveFileExA(temp.c_str(), argv[2], MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
    }
    return 3;
}
