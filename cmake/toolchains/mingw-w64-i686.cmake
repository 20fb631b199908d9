# Cross build for 32-bit Windows with Debian's MinGW-w64 (POSIX thread model). The processor
# name makes cmake/CompilerFlags.cmake add -msse2 -mfpmath=sse, keeping x87 out of the numbers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELNR_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
