# Windows builds, cross-compiled with MinGW-w64 (cmake/toolchains/). Does nothing elsewhere.
# GoogleTest is built from Debian's source for the target and test programs run under Wine in
# the build's private prefix.
if(NOT WIN32)
    return()
endif()

# Programs and DLLs side by side, so test programs find the plug-in DLL without a search path.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# How a Windows program of this build is run here: 64-bit ones by this machine's Wine in a
# private prefix, 32-bit ones by the i386 Wine of tools/i686-wine.sh (this machine's kernel
# runs no 32-bit program, so that Wine runs emulated; its prefix lives in its own tree).
set(VELNR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private Wine prefix of the tests")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(VELNR_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/i686-wine.sh run)
else()
    set(VELNR_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run.sh ${VELNR_WINEPREFIX})
endif()
if(CMAKE_CROSSCOMPILING)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELNR_WINE_RUN})
endif()

if(VELNR_BUILD_TESTS)
    set(VELNR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree to cross-build")
    if(NOT EXISTS ${VELNR_GTEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest source not found in ${VELNR_GTEST_SOURCE} "
                            "(Debian package googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    # Win32 primitives are GoogleTest's own choice on Windows; keep winpthread out of it.
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(${VELNR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    foreach(lib gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
    endforeach()
    set(GTest_FOUND TRUE)
    # Listing the tests needs Wine: do it when ctest runs, not after every link.
    set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# Hosts call the 32-bit DLL's exports as cdecl: a __stdcall export (decorated _Name@n) must
# not be quietly matched to its .def name. Runs once every layer has declared its targets.
function(velnr_windows_plugin)
    if(TARGET VELNoiseReduction AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(VELNoiseReduction PRIVATE -Wl,--disable-stdcall-fixup)
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL velnr_windows_plugin)
