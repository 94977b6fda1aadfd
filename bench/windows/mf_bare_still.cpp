// The platform's share of a video thumbnail: Media Foundation's source reader
// alone opens the file, seeks a third of the way in (where a thumbnail's
// search starts) and reads one decoded sample, nothing converted or scaled.
// thumbnail_bench on the same file gives the library's total; the ratio is our
// overhead.
//   mf_bare_still FILE [--runs N] [--stream]
// prints the median, fastest and slowest time of one open, seek and read. The
// reader opens the file by its path (MFCreateSourceReaderFromURL), or with
// --stream from a file stream as the thumbnail provider is given one.
#include "platform/HResult.h"
#include "platform/MediaFoundation.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

using CreateFromUrl = HRESULT(WINAPI*)(LPCWSTR, IMFAttributes*, IMFSourceReader**);

// Clears the variant whichever way the function is left.
struct Variant {
    PROPVARIANT value;
    Variant() { PropVariantInit(&value); }
    ~Variant() { PropVariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

HRESULT OpenReader(const Quivane::MediaFoundationApi& api, CreateFromUrl fromUrl, const wchar_t* path, bool byStream,
                   ComPtr<IMFSourceReader>& reader) {
    ComPtr<IMFAttributes> attributes;
    RETURN_IF_FAILED(api.createAttributes(&attributes, 1));
    RETURN_IF_FAILED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE));
    if (!byStream) return fromUrl(path, attributes.Get(), &reader);
    ComPtr<IStream> stream;
    RETURN_IF_FAILED(SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                            nullptr, &stream));
    ComPtr<IMFByteStream> byteStream;
    RETURN_IF_FAILED(api.createByteStreamOnStream(stream.Get(), &byteStream));
    return api.createSourceReaderFromByteStream(byteStream.Get(), attributes.Get(), &reader);
}

HRESULT OneStill(const Quivane::MediaFoundationApi& api, CreateFromUrl fromUrl, const wchar_t* path, bool byStream) {
    ComPtr<IMFSourceReader> reader;
    RETURN_IF_FAILED(OpenReader(api, fromUrl, path, byStream, reader));
    // The decoder's own pictures, as the thumbnail asks for them.
    ComPtr<IMFMediaType> type;
    RETURN_IF_FAILED(api.createMediaType(&type));
    RETURN_IF_FAILED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
    RETURN_IF_FAILED(type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12));
    RETURN_IF_FAILED(reader->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), nullptr,
                                                 type.Get()));
    Variant duration;
    RETURN_IF_FAILED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                      &duration.value));
    Variant position;
    position.value.vt = VT_I8;
    position.value.hVal.QuadPart = duration.value.vt == VT_UI8 ? static_cast<LONGLONG>(duration.value.uhVal.QuadPart / 3) : 0;
    RETURN_IF_FAILED(reader->SetCurrentPosition(GUID_NULL, position.value));
    for (int read = 0; read < 16; ++read) {
        DWORD stream = 0, flags = 0;
        LONGLONG timestamp = 0;
        ComPtr<IMFSample> sample;
        RETURN_IF_FAILED(reader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0, &stream, &flags,
                                            &timestamp, &sample));
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) return E_FAIL;
        if (sample) return S_OK;
    }
    return E_FAIL;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: mf_bare_still FILE [--runs N] [--stream]\n");
        return 2;
    }
    int runs = 20;
    bool byStream = false;
    for (int i = 2; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
        if (std::wcscmp(argv[i], L"--stream") == 0) byStream = true;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const Quivane::MediaFoundationApi* api = nullptr;
    HRESULT hr = Quivane::MediaFoundation(api);
    CreateFromUrl fromUrl = nullptr;
    if (SUCCEEDED(hr)) {
        HMODULE readWrite = GetModuleHandleW(L"mfreadwrite.dll");
        if (readWrite != nullptr) {
            fromUrl = reinterpret_cast<CreateFromUrl>(
                reinterpret_cast<void*>(GetProcAddress(readWrite, "MFCreateSourceReaderFromURL")));
        }
        if (fromUrl == nullptr) hr = E_NOINTERFACE;
    }
    std::vector<double> times;
    for (int run = 0; run < runs && SUCCEEDED(hr); ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        hr = OneStill(*api, fromUrl, argv[1], byStream);
        QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end));
    }
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"error: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("runs\t%zu\nmedian_ms\t%.1f\nmin_ms\t%.1f\nmax_ms\t%.1f\n", n, median, times.front(), times.back());
    CoUninitialize();
    return 0;
}
