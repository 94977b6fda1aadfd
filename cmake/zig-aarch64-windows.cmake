# Cross-compiling for ARM64 Windows with zig 0.11's clang, lld and libc++
# against mingw-w64's headers and runtime. QUIVANE_ZIG_BIN is the folder of
# the tool wrappers that cmake/fetch-zig.sh prints (in the build tree).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
# The compiler checks' own projects see the folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUIVANE_ZIG_BIN)
if(NOT QUIVANE_ZIG_BIN)
  message(FATAL_ERROR "the ARM64 toolchain needs -DQUIVANE_ZIG_BIN=<folder cmake/fetch-zig.sh printed>")
endif()
set(CMAKE_C_COMPILER ${QUIVANE_ZIG_BIN}/cc)
set(CMAKE_CXX_COMPILER ${QUIVANE_ZIG_BIN}/c++)
set(CMAKE_AR ${QUIVANE_ZIG_BIN}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUIVANE_ZIG_BIN}/ranlib CACHE FILEPATH "")
set(CMAKE_RC_COMPILER ${QUIVANE_ZIG_BIN}/windres)
# -O2, as the wrapper starts every line with (see there why).
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Debian has no zlib for this target, and the toolchain no libmfuuid: zlib is
# built from its source package, the GUIDs defined from the headers.
set(QUIVANE_ZLIB_FROM_SOURCE ON)
set(QUIVANE_NO_MFUUID ON)
