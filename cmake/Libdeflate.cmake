# libdeflate's decompressor, from Debian's source package (fetched into the
# build tree at configure time, Debian's patches applied), as a static
# library: the PNG decoder inflates a frame's whole data with it in one call.
# Linked into Quivane.dll, and natively into the portable code's tests,
# fuzzers and benchmarks. Portable C: its x86 paths are chosen at run time
# behind its own architecture checks, so every Windows build takes it as is.
#   quivane_deflate

include(${CMAKE_SOURCE_DIR}/cmake/DebianSource.cmake)
quivane_debian_source(libdeflate 1.14-1 QUIVANE_LIBDEFLATE_SOURCE)

# Decompression only; the CPU feature files compile to nothing off their architecture.
set(deflate_lib ${QUIVANE_LIBDEFLATE_SOURCE}/lib)
add_library(quivane_deflate STATIC ${deflate_lib}/deflate_decompress.c ${deflate_lib}/utils.c
            ${deflate_lib}/x86/cpu_features.c ${deflate_lib}/arm/cpu_features.c)
target_include_directories(quivane_deflate SYSTEM PUBLIC ${QUIVANE_LIBDEFLATE_SOURCE})
set_target_properties(quivane_deflate PROPERTIES POSITION_INDEPENDENT_CODE ON C_STANDARD 99)
