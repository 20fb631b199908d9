# Little CMS 2, the preview's colour management, as target velnr_lcms2 on every system.
# Linux links Debian's liblcms2-dev. Debian has no MinGW build of it, so the Windows builds
# compile Debian's own source package for their target: statically, with the project's
# numeric flags, linked into the DLL so that it imports system DLLs only. The fuzz build
# compiles the same source with the fuzzer's coverage and AddressSanitizer, so that the ICC
# fuzz target steers by the profile parser's branches.
add_library(velnr_lcms2 INTERFACE)
if(NOT WIN32 AND NOT VELNR_BUILD_FUZZ)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
    target_link_libraries(velnr_lcms2 INTERFACE PkgConfig::LCMS2)
    return()
endif()

# tools/install-deps.sh unpacks `apt-get source lcms2` here, at the installed liblcms2-dev's
# version, outside the repository.
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(_cache "$ENV{XDG_CACHE_HOME}")
else()
    set(_cache "$ENV{HOME}/.cache")
endif()
set(VELNR_LCMS2_SOURCE ${_cache}/velnr/lcms2 CACHE PATH
    "Unpacked Debian source package of lcms2, built for the Windows and fuzz builds")
if(NOT EXISTS ${VELNR_LCMS2_SOURCE}/configure OR NOT EXISTS ${VELNR_LCMS2_SOURCE}/include/lcms2.h)
    message(FATAL_ERROR "lcms2 source not found in ${VELNR_LCMS2_SOURCE}: run "
                        "tools/install-deps.sh (it unpacks Debian's source package there) or "
                        "set VELNR_LCMS2_SOURCE")
endif()

enable_language(C)
set(_cc ${CMAKE_C_COMPILER})
if(CMAKE_C_COMPILER_LAUNCHER)
    set(_cc ${CMAKE_C_COMPILER_LAUNCHER} ${CMAKE_C_COMPILER})
endif()
list(JOIN _cc " " _cc)
set(_cflags -O2 ${VELNR_NUMERIC_FLAGS})
if(WIN32)
    set(_options --host=${VELNR_MINGW_TRIPLET})
else()
    set(_options --with-pic)  # like every layer: it may end up in a shared library
endif()
if(VELNR_BUILD_FUZZ)
    # Edge coverage without the comparison tracing, optimised, no UB checks: each input's
    # transform samples a 33^3 grid and may invert long curves, and the speed decides how far
    # the fuzzer gets.
    set(_cflags -g -O2 -fno-omit-frame-pointer -fsanitize=address
                -fsanitize-coverage=inline-8bit-counters,pc-table ${VELNR_NUMERIC_FLAGS})
endif()
list(JOIN _cflags " " _cflags)
cmake_host_system_information(RESULT _jobs QUERY NUMBER_OF_LOGICAL_CORES)
set(_build ${CMAKE_BINARY_DIR}/lcms2)
set(_library ${_build}/src/.libs/liblcms2.a)

include(ExternalProject)
# Only the library (src/); the source tree is never written, the build happens in _build.
ExternalProject_Add(lcms2_build
    SOURCE_DIR ${VELNR_LCMS2_SOURCE}
    BINARY_DIR ${_build}
    PREFIX ${CMAKE_BINARY_DIR}/lcms2-steps
    # A new configuration (other flags, another version) compiles every object afresh: make
    # would keep the old ones, which are newer than their sources.
    CONFIGURE_COMMAND ${CMAKE_COMMAND} -E rm -rf ${_build}/src
              COMMAND ${VELNR_LCMS2_SOURCE}/configure --quiet ${_options} --enable-static
                      --disable-shared --without-jpeg --without-tiff --without-zlib
                      "CC=${_cc}" "CFLAGS=${_cflags}"
    BUILD_COMMAND make -C src -j${_jobs} liblcms2.la
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${_library}
    LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)
# Another Debian version unpacked by the install script builds afresh.
if(EXISTS ${VELNR_LCMS2_SOURCE}/.debian-version)
    ExternalProject_Add_StepDependencies(lcms2_build configure
                                         ${VELNR_LCMS2_SOURCE}/.debian-version)
endif()

add_library(lcms2_static STATIC IMPORTED)
set_target_properties(lcms2_static PROPERTIES
    IMPORTED_LOCATION ${_library}
    INTERFACE_INCLUDE_DIRECTORIES ${VELNR_LCMS2_SOURCE}/include)
add_dependencies(lcms2_static lcms2_build)
target_link_libraries(velnr_lcms2 INTERFACE lcms2_static)
