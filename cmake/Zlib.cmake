# zlib from Debian's source package (fetched into the build tree at configure
# time, Debian's patches applied), as a static library: for a target Debian
# has no zlib build of (ARM64 Windows). Sets QUIVANE_ZLIB_LICENCE_SOURCE.
#   quivane_zlib

include(${CMAKE_SOURCE_DIR}/cmake/DebianSource.cmake)
quivane_debian_source(zlib 1:1.2.13.dfsg-1 QUIVANE_ZLIB_SOURCE)
set(QUIVANE_ZLIB_LICENCE_SOURCE ${QUIVANE_ZLIB_SOURCE}/debian/copyright)

set(zlib_sources)
foreach(name adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
             uncompr zutil)
  list(APPEND zlib_sources ${QUIVANE_ZLIB_SOURCE}/${name}.c)
endforeach()
add_library(quivane_zlib STATIC ${zlib_sources})
target_include_directories(quivane_zlib SYSTEM PUBLIC ${QUIVANE_ZLIB_SOURCE})
# zlib 1.2's functions are defined in the old (K&R) style, which clang warns of.
if(CMAKE_C_COMPILER_ID STREQUAL "Clang")
  target_compile_options(quivane_zlib PRIVATE -Wno-deprecated-non-prototype)
endif()
