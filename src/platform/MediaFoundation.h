#pragma once
// Media Foundation start-up, once per process, and a declaration the
// mingw-w64 headers lack.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

// Present in libmfplat.a but not declared by the mingw-w64 10 headers.
extern "C" HRESULT WINAPI MFCreateMFByteStreamOnStream(IStream* stream, IMFByteStream** byteStream);

namespace Quivane {

// MFStartup (lite) on first use; every later call returns the stored result.
// The framework is never shut down: other threads may still be reading.
[[nodiscard]] HRESULT EnsureMediaFoundationStarted();

} // namespace Quivane
