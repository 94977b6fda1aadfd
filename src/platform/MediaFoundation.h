#pragma once
// Media Foundation, loaded on first use. Windows editions without the media
// components lack its DLLs: a static import would keep the whole server from
// loading, and with it every GIF, PNG and WebP preview and thumbnail.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

namespace Quivane {

// The few entry points the video source uses, resolved from the system's DLLs.
struct MediaFoundationApi {
    HRESULT(WINAPI* createAttributes)(IMFAttributes** attributes, UINT32 initialSize) = nullptr;
    HRESULT(WINAPI* createMediaType)(IMFMediaType** type) = nullptr;
    HRESULT(WINAPI* createByteStreamOnStream)(IStream* stream, IMFByteStream** byteStream) = nullptr;
    HRESULT(WINAPI* createSourceReaderFromByteStream)(IMFByteStream* byteStream, IMFAttributes* attributes,
                                                      IMFSourceReader** reader) = nullptr;
};

// Loads the DLLs and runs MFStartup (lite) on the first call; every later
// call gives the same table or the same failure (the DLL's load error when
// the media components are missing). The framework is never shut down nor
// its DLLs freed: other threads may still be reading.
[[nodiscard]] HRESULT MediaFoundation(const MediaFoundationApi*& api);

} // namespace Quivane
