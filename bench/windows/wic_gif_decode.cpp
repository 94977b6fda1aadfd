// The platform's share of a GIF load: WIC alone decodes every frame of a file
// to premultiplied BGRA, nothing composited. quivane.exe frames --time on the
// same file gives the library's total; the ratio is our overhead.
//   wic_gif_decode FILE [--metadata]   prints decode_ms and frames
// With --metadata it also reads the six frame metadata items a GIF load
// asks for, which separates the platform's query cost from composition.
#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Quivane;

namespace {

void ReadFrameMetadata(IWICBitmapFrameDecode* frame) {
    ComPtr<IWICMetadataQueryReader> reader;
    if (FAILED(frame->GetMetadataQueryReader(&reader))) return;
    std::uint32_t value = 0;
    for (const wchar_t* name : {L"/imgdesc/Left", L"/imgdesc/Top", L"/imgdesc/Width", L"/imgdesc/Height",
                                L"/grctlext/Disposal", L"/grctlext/Delay"}) {
        ReadMetadataUInt(reader.Get(), name, value);
    }
}

HRESULT DecodeAllFrames(const wchar_t* path, bool withMetadata, UINT& frames) {
    ComPtr<IStream> stream;
    RETURN_IF_FAILED(SHCreateStreamOnFileEx(path, STGM_READ, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream));
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory.Get(), stream.Get(), decoder));
    RETURN_IF_FAILED(decoder->GetFrameCount(&frames));
    std::vector<std::uint8_t> pixels;
    for (UINT i = 0; i < frames; ++i) {
        ComPtr<IWICBitmapFrameDecode> frame;
        RETURN_IF_FAILED(decoder->GetFrame(i, &frame));
        if (withMetadata) ReadFrameMetadata(frame.Get());
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory.Get(), frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
        UINT width = 0, height = 0;
        RETURN_IF_FAILED(GetNonEmptySize(converter.Get(), width, height));
        RETURN_IF_FAILED(CopyPixelsToBuffer(converter.Get(), nullptr, width * 4, height, pixels));
    }
    return S_OK;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool withMetadata = argc == 3 && std::wstring(argv[2]) == L"--metadata";
    if (argc != 2 && !withMetadata) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    UINT frames = 0;
    const HRESULT hr = DecodeAllFrames(argv[1], withMetadata, frames);
    QueryPerformanceCounter(&end);
    CoUninitialize();
    if (FAILED(hr)) {
        std::printf("error: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("decode_ms\t%.3f\nframes\t%u\n",
                static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart),
                frames);
    return 0;
}
