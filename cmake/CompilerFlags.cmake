# Flags shared by every target. Numbers must be identical on every compiler and platform,
# so floating-point contraction is off and fast-math is never allowed.
# VELNR_NUMERIC_FLAGS also go to the C libraries built from source (cmake/Lcms2.cmake).
add_library(velnr_flags INTERFACE)
target_compile_features(velnr_flags INTERFACE cxx_std_20)
set(VELNR_NUMERIC_FLAGS -ffp-contract=off -fno-fast-math)
target_compile_options(velnr_flags INTERFACE
    ${VELNR_NUMERIC_FLAGS}
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
    -Wimplicit-fallthrough -Wnull-dereference -Wdouble-promotion)
if(VELNR_WERROR)
    target_compile_options(velnr_flags INTERFACE -Werror)
endif()
# 32-bit x86 must not use the x87 unit: its extended precision changes results.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
    target_compile_options(velnr_flags INTERFACE -msse2 -mfpmath=sse)
    list(APPEND VELNR_NUMERIC_FLAGS -msse2 -mfpmath=sse)
endif()

set(VELNR_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address' (ASan+UBSan) or 'thread'")
if(VELNR_SANITIZE STREQUAL "address")
    set(_san -fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero
             -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(velnr_flags INTERFACE ${_san})
    target_link_options(velnr_flags INTERFACE ${_san})
elseif(VELNR_SANITIZE STREQUAL "thread")
    target_compile_options(velnr_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(velnr_flags INTERFACE -fsanitize=thread)
elseif(NOT VELNR_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VELNR_SANITIZE must be empty, 'address' or 'thread'")
endif()
# Coverage feedback for libFuzzer in every library the fuzz targets link (tests/fuzz).
if(VELNR_BUILD_FUZZ)
    target_compile_options(velnr_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Headers are included by layer: #include "engine/Jobs.h".
target_include_directories(velnr_flags INTERFACE ${PROJECT_SOURCE_DIR})
