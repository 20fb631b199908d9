# Shared part of the MinGW-w64 toolchains; VELNR_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${VELNR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELNR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELNR_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${VELNR_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VELNR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Hosts load the plug-in without any of the compiler's runtime DLLs beside it: libstdc++,
# libgcc and winpthread are linked in, only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

