# Cross build: the in-process server, the host tool and the Windows-side tests.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Struct-returning COM methods (GetSize and the like) called the way the platform ABI returns them.
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00 WIDL_EXPLICIT_AGGREGATE_RETURNS)
# Only system DLLs at run time: the C++ runtime, libgcc and winpthread are linked in.
add_link_options(-static -static-libgcc -static-libstdc++)

file(GLOB_RECURSE QUIVANE_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/formats/*.cpp
  ${CMAKE_SOURCE_DIR}/src/frames/*.cpp
  ${CMAKE_SOURCE_DIR}/src/imaging/*.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/*.cpp
  ${CMAKE_SOURCE_DIR}/src/presentation/*.cpp
  ${CMAKE_SOURCE_DIR}/src/preview/*.cpp
  ${CMAKE_SOURCE_DIR}/src/thumbnail/*.cpp)
# Registration lives with the server but is also exercised directly by tests.
set(QUIVANE_REGISTRATION_SOURCES ${CMAKE_SOURCE_DIR}/src/com/RegistryLayout.cpp ${CMAKE_SOURCE_DIR}/src/com/Registration.cpp
    ${CMAKE_SOURCE_DIR}/src/com/ReplacedHandlers.cpp)
list(APPEND QUIVANE_CORE_SOURCES ${QUIVANE_REGISTRATION_SOURCES})
# WebP is decoded by libwebp, linked in.
include(${CMAKE_SOURCE_DIR}/cmake/Libwebp.cmake)
# PNG frames that fit in memory are inflated whole by libdeflate.
include(${CMAKE_SOURCE_DIR}/cmake/Libdeflate.cmake)
add_library(quivane_core STATIC ${QUIVANE_CORE_SOURCES})
target_include_directories(quivane_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
# The PNG decoder's inflater: Debian's zlib for mingw-w64 (libz-mingw-w64-dev), linked in by its static
# archive, never its import library, so the DLL still needs no DLL but the system's; where Debian has
# no build for the target, its source package built here.
if(QUIVANE_ZLIB_FROM_SOURCE)
  include(${CMAKE_SOURCE_DIR}/cmake/Zlib.cmake)
  target_link_libraries(quivane_core PUBLIC quivane_zlib)
else()
  find_library(QUIVANE_STATIC_ZLIB NAMES libz.a REQUIRED)
  target_link_libraries(quivane_core PUBLIC ${QUIVANE_STATIC_ZLIB})
  set(QUIVANE_ZLIB_LICENCE_SOURCE /usr/share/doc/libz-mingw-w64-dev/copyright)
endif()
target_compile_options(quivane_core PRIVATE ${QUIVANE_WARNINGS})
target_link_libraries(quivane_core PRIVATE quivane_webpdemux)
target_link_libraries(quivane_core PUBLIC quivane_deflate)
target_link_libraries(quivane_core PUBLIC windowscodecs d2d1 dwrite ole32 oleaut32 shlwapi propsys uuid
                      user32 gdi32 comdlg32 shell32 advapi32)
# Media Foundation's GUIDs: mingw-w64's libmfuuid where the toolchain has it, else defined from the headers.
if(QUIVANE_NO_MFUUID)
  target_sources(quivane_core PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/PlatformGuids.c)
else()
  target_link_libraries(quivane_core PUBLIC mfuuid)
endif()

# A program's wide-character wmain: mingw-w64's GCC starts it with -municode;
# clang's mingw driver has no such switch, and links a main that passes the
# wide command line on.
function(quivane_wide_entry target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_link_options(${target} PRIVATE -municode)
  else()
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tools/entry/WideMain.cpp)
  endif()
endfunction()

file(GLOB QUIVANE_COM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/com/*.cpp)
list(REMOVE_ITEM QUIVANE_COM_SOURCES ${QUIVANE_REGISTRATION_SOURCES})
add_library(Quivane SHARED ${QUIVANE_COM_SOURCES} ${CMAKE_SOURCE_DIR}/src/com/Quivane.def)
set_target_properties(Quivane PROPERTIES PREFIX "" OUTPUT_NAME "Quivane")
target_compile_options(Quivane PRIVATE ${QUIVANE_WARNINGS})
target_link_libraries(Quivane PRIVATE quivane_core)
# The 32-bit entry points are stdcall; the .def file exports them by their plain names.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(Quivane PRIVATE -Wl,--enable-stdcall-fixup)
endif()
# Its version resource: Explorer's Properties and `quivane status` show it.
enable_language(RC)
configure_file(${CMAKE_SOURCE_DIR}/src/com/Version.rc.in ${CMAKE_BINARY_DIR}/Version.rc @ONLY)
target_sources(Quivane PRIVATE ${CMAKE_BINARY_DIR}/Version.rc)

file(GLOB QUIVANE_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
add_executable(quivane ${QUIVANE_TOOL_SOURCES})
target_compile_options(quivane PRIVATE ${QUIVANE_WARNINGS})
target_link_libraries(quivane PRIVATE quivane_core version)
quivane_wide_entry(quivane)

# The benchmark programs are built by `./quivane bench` (target windows_benchmarks), not by every build.
file(GLOB QUIVANE_WINDOWS_BENCH CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/windows/*.cpp)
add_custom_target(windows_benchmarks)
foreach(source IN LISTS QUIVANE_WINDOWS_BENCH)
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} EXCLUDE_FROM_ALL ${source})
  add_dependencies(windows_benchmarks ${name})
  target_compile_options(${name} PRIVATE ${QUIVANE_WARNINGS})
  target_link_libraries(${name} PRIVATE quivane_core)
  quivane_wide_entry(${name})
endforeach()

# The setup program: per-user (or /allusers) install of the DLL and the host
# tool, registered through the DLL's own DllInstall.
find_program(QUIVANE_MAKENSIS makensis REQUIRED DOC "NSIS compiler (Debian package nsis)")
set(QUIVANE_SETUP ${CMAKE_BINARY_DIR}/bin/Quivane-Setup.exe)
# The 32-bit build's files (built first by the native project) go in beside the 64-bit ones.
set(QUIVANE_X86_BINDIR "" CACHE PATH "Folder of the 32-bit Quivane.dll and quivane.exe for the setup program")
set(QUIVANE_SETUP_BUILDS)
if(QUIVANE_X86_BINDIR)
  set(QUIVANE_SETUP_BUILDS -DBINDIR32=${QUIVANE_X86_BINDIR})
  set(QUIVANE_SETUP_BUILD_FILES ${QUIVANE_X86_BINDIR}/Quivane.dll ${QUIVANE_X86_BINDIR}/quivane.exe)
endif()
# And the ARM64 build's, for Windows on ARM.
set(QUIVANE_ARM64_BINDIR "" CACHE PATH "Folder of the ARM64 Quivane.dll and quivane.exe for the setup program")
if(QUIVANE_ARM64_BINDIR)
  list(APPEND QUIVANE_SETUP_BUILDS -DBINDIRARM64=${QUIVANE_ARM64_BINDIR})
  list(APPEND QUIVANE_SETUP_BUILD_FILES ${QUIVANE_ARM64_BINDIR}/Quivane.dll ${QUIVANE_ARM64_BINDIR}/quivane.exe)
endif()
# libwebp's licence, installed beside the DLL that links it.
set(QUIVANE_LIBWEBP_LICENCE ${CMAKE_BINARY_DIR}/bin/libwebp-COPYING.txt)
configure_file(${QUIVANE_LIBWEBP_SOURCE}/COPYING ${QUIVANE_LIBWEBP_LICENCE} COPYONLY)
set(QUIVANE_LIBDEFLATE_LICENCE ${CMAKE_BINARY_DIR}/bin/libdeflate-COPYING.txt)
configure_file(${QUIVANE_LIBDEFLATE_SOURCE}/COPYING ${QUIVANE_LIBDEFLATE_LICENCE} COPYONLY)
# zlib's too: Debian's copyright file of the package the DLL links it from.
set(QUIVANE_ZLIB_LICENCE ${CMAKE_BINARY_DIR}/bin/zlib-LICENSE.txt)
configure_file(${QUIVANE_ZLIB_LICENCE_SOURCE} ${QUIVANE_ZLIB_LICENCE} COPYONLY)
add_custom_command(OUTPUT ${QUIVANE_SETUP}
  COMMAND ${QUIVANE_MAKENSIS} -V2 -WX -DVERSION=${PROJECT_VERSION} -DBINDIR=${CMAKE_BINARY_DIR}/bin
          ${QUIVANE_SETUP_BUILDS} -DOUTFILE=${QUIVANE_SETUP} ${CMAKE_SOURCE_DIR}/installer/Quivane.nsi
  DEPENDS Quivane quivane ${QUIVANE_SETUP_BUILD_FILES} ${QUIVANE_LIBWEBP_LICENCE} ${QUIVANE_LIBDEFLATE_LICENCE}
          ${QUIVANE_ZLIB_LICENCE}
          ${CMAKE_SOURCE_DIR}/installer/Quivane.nsi ${CMAKE_SOURCE_DIR}/installer/Builds.nsh
  COMMENT "Building Quivane-Setup.exe ${PROJECT_VERSION}"
  VERBATIM)
add_custom_target(setup ALL DEPENDS ${QUIVANE_SETUP})

add_subdirectory(tests/support/mf_color)
add_subdirectory(tests/windows)
