# zlib from Debian's source package (fetched into the build tree at configure
# time, Debian's patches applied), as a static library: for a target Debian
# has no zlib build of (ARM64 Windows). Sets QUIVANE_ZLIB_LICENCE_SOURCE.
#   quivane_zlib

set(QUIVANE_ZLIB_DIR ${CMAKE_BINARY_DIR}/zlib)
execute_process(
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/fetch-debian-source.sh zlib ${QUIVANE_ZLIB_DIR} 1:1.2.13.dfsg-1
  OUTPUT_VARIABLE QUIVANE_ZLIB_SOURCE
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE fetch_result)
if(NOT fetch_result EQUAL 0 OR NOT EXISTS ${QUIVANE_ZLIB_SOURCE}/inflate.c)
  message(FATAL_ERROR "Could not fetch the zlib source package (fetch-debian-source.sh: ${fetch_result})")
endif()
file(READ ${QUIVANE_ZLIB_DIR}/version QUIVANE_ZLIB_VERSION)
string(STRIP "${QUIVANE_ZLIB_VERSION}" QUIVANE_ZLIB_VERSION)
message(STATUS "zlib: Debian source ${QUIVANE_ZLIB_VERSION}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUIVANE_ZLIB_SOURCE}/debian/changelog)
set(QUIVANE_ZLIB_LICENCE_SOURCE ${QUIVANE_ZLIB_SOURCE}/debian/copyright)

set(zlib_sources)
foreach(name adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
             uncompr zutil)
  list(APPEND zlib_sources ${QUIVANE_ZLIB_SOURCE}/${name}.c)
endforeach()
add_library(quivane_zlib STATIC ${zlib_sources})
target_include_directories(quivane_zlib SYSTEM PUBLIC ${QUIVANE_ZLIB_SOURCE})
