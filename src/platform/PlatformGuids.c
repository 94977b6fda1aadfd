/* The platform's GUIDs that mingw-w64 keeps in libmfuuid, defined here from
   the headers for a toolchain without that library (clang for ARM64). */
#define INITGUID
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wincodec.h>
