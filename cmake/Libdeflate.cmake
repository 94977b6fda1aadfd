# libdeflate's decompressor, from Debian's source package (fetched into the
# build tree at configure time, Debian's patches applied), as a static
# library: the PNG decoder inflates a frame's whole data with it in one call.
# Linked into Quivane.dll, and natively into the portable code's tests,
# fuzzers and benchmarks. Portable C: its x86 paths are chosen at run time
# behind its own architecture checks, so every Windows build takes it as is.
#   quivane_deflate

set(QUIVANE_LIBDEFLATE_DIR ${CMAKE_BINARY_DIR}/libdeflate)
execute_process(
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/fetch-debian-source.sh libdeflate 1.14-1 lib/deflate_decompress.c
          ${QUIVANE_LIBDEFLATE_DIR}
  OUTPUT_VARIABLE QUIVANE_LIBDEFLATE_SOURCE
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE fetch_result)
if(NOT fetch_result EQUAL 0 OR NOT EXISTS ${QUIVANE_LIBDEFLATE_SOURCE}/libdeflate.h)
  message(FATAL_ERROR "Could not fetch the libdeflate source package (fetch-debian-source.sh: ${fetch_result})")
endif()
file(READ ${QUIVANE_LIBDEFLATE_DIR}/version QUIVANE_LIBDEFLATE_VERSION)
string(STRIP "${QUIVANE_LIBDEFLATE_VERSION}" QUIVANE_LIBDEFLATE_VERSION)
message(STATUS "libdeflate: Debian source ${QUIVANE_LIBDEFLATE_VERSION}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUIVANE_LIBDEFLATE_SOURCE}/debian/changelog)

# Decompression only; the CPU feature files compile to nothing off their architecture.
set(deflate_lib ${QUIVANE_LIBDEFLATE_SOURCE}/lib)
add_library(quivane_deflate STATIC ${deflate_lib}/deflate_decompress.c ${deflate_lib}/utils.c
            ${deflate_lib}/x86/cpu_features.c ${deflate_lib}/arm/cpu_features.c)
target_include_directories(quivane_deflate SYSTEM PUBLIC ${QUIVANE_LIBDEFLATE_SOURCE})
set_target_properties(quivane_deflate PROPERTIES POSITION_INDEPENDENT_CODE ON C_STANDARD 99)
