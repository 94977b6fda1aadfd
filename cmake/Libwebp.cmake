# libwebp's decoding half and its demuxer, from Debian's source package
# (fetched into the build tree at configure time, Debian's patches applied),
# as static libraries: linked into Quivane.dll, and natively into the portable
# WebP code's tests, fuzzer and differential check.
#   quivane_webp       decoder
#   quivane_webpdemux  demuxer and (for the differential check) the animation decoder

include(${CMAKE_SOURCE_DIR}/cmake/DebianSource.cmake)
# 1.2.4-0.2+deb12u1: the lossless Huffman overflow (CVE-2023-4863) fixed.
quivane_debian_source(libwebp 1.2.4-0.2+deb12u1 QUIVANE_LIBWEBP_SOURCE)

# SSE2 variants where the compiler targets SSE2 (x86-64), NEON ones on ARM64;
# plain C elsewhere (the i686 build). The variants of another processor
# compile to nothing.
set(webp_src ${QUIVANE_LIBWEBP_SOURCE}/src)
file(GLOB webp_dec_sources ${webp_src}/dec/*.c)
set(webp_dsp_sources)
foreach(name alpha_processing cpu dec dec_clip_tables filters lossless rescaler upsampling yuv)
  list(APPEND webp_dsp_sources ${webp_src}/dsp/${name}.c)
  foreach(variant sse2 neon)
    if(EXISTS ${webp_src}/dsp/${name}_${variant}.c)
      list(APPEND webp_dsp_sources ${webp_src}/dsp/${name}_${variant}.c)
    endif()
  endforeach()
endforeach()
set(webp_utils_sources)
foreach(name bit_reader_utils color_cache_utils filters_utils huffman_utils quant_levels_dec_utils
             random_utils rescaler_utils thread_utils utils)
  list(APPEND webp_utils_sources ${webp_src}/utils/${name}.c)
endforeach()

# quivane_webp${suffix} and quivane_webpdemux${suffix}, compiled with the options after the suffix.
function(quivane_libwebp suffix)
  add_library(quivane_webp${suffix} STATIC ${webp_dec_sources} ${webp_dsp_sources} ${webp_utils_sources})
  target_include_directories(quivane_webp${suffix} SYSTEM PUBLIC ${webp_src} PRIVATE ${QUIVANE_LIBWEBP_SOURCE})
  add_library(quivane_webpdemux${suffix} STATIC ${webp_src}/demux/demux.c ${webp_src}/demux/anim_decode.c)
  target_include_directories(quivane_webpdemux${suffix} PRIVATE ${QUIVANE_LIBWEBP_SOURCE})
  target_link_libraries(quivane_webpdemux${suffix} PUBLIC quivane_webp${suffix})
  foreach(library quivane_webp${suffix} quivane_webpdemux${suffix})
    set_target_properties(${library} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${library} PRIVATE ${ARGN})
  endforeach()
endfunction()
quivane_libwebp("")
