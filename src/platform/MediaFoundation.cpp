#include "MediaFoundation.h"

namespace Quivane {
namespace {

INIT_ONCE loadOnce = INIT_ONCE_STATIC_INIT;
HRESULT loadResult = E_FAIL;
MediaFoundationApi loadedApi;

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT LoadSystemLibrary(const wchar_t* name, HMODULE& module) {
    module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? S_OK : LastError();
}

template <typename Function>
HRESULT Resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr ? S_OK : LastError();
}

HRESULT LoadAndStart() {
    HMODULE platform = nullptr;
    HMODULE readWrite = nullptr;
    HRESULT hr = LoadSystemLibrary(L"mfplat.dll", platform);
    if (SUCCEEDED(hr)) hr = LoadSystemLibrary(L"mfreadwrite.dll", readWrite);
    HRESULT(WINAPI * startup)(ULONG, DWORD) = nullptr;
    MediaFoundationApi api;
    if (SUCCEEDED(hr)) hr = Resolve(platform, "MFStartup", startup);
    if (SUCCEEDED(hr)) hr = Resolve(platform, "MFCreateAttributes", api.createAttributes);
    if (SUCCEEDED(hr)) hr = Resolve(platform, "MFCreateMediaType", api.createMediaType);
    if (SUCCEEDED(hr)) hr = Resolve(platform, "MFCreateMFByteStreamOnStream", api.createByteStreamOnStream);
    if (SUCCEEDED(hr)) {
        hr = Resolve(readWrite, "MFCreateSourceReaderFromByteStream", api.createSourceReaderFromByteStream);
    }
    if (SUCCEEDED(hr)) hr = startup(MF_VERSION, MFSTARTUP_LITE);
    if (SUCCEEDED(hr)) {
        loadedApi = api;
        return S_OK;
    }
    // Nothing of a half-loaded framework stays behind.
    if (readWrite != nullptr) FreeLibrary(readWrite);
    if (platform != nullptr) FreeLibrary(platform);
    return hr;
}

BOOL CALLBACK LoadOnce(PINIT_ONCE, PVOID, PVOID*) {
    loadResult = LoadAndStart();
    return TRUE;
}

} // namespace

HRESULT MediaFoundation(const MediaFoundationApi*& api) {
    api = nullptr;
    if (!InitOnceExecuteOnce(&loadOnce, LoadOnce, nullptr, nullptr)) return E_FAIL;
    if (FAILED(loadResult)) return loadResult;
    api = &loadedApi;
    return S_OK;
}

} // namespace Quivane
