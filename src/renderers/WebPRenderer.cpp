#include "WebPRenderer.h"

#include "LoadStopCondition.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <algorithm>

namespace Quivane {
namespace {

constexpr std::uint32_t kDefaultDelayMs = 100;
constexpr std::uint32_t kMinimumDelayMs = 10;

// Unsigned values count, and signed 32-bit ones when positive; anything else is 0.
std::uint32_t ReadDuration(IWICMetadataQueryReader* reader, const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::uint32_t duration = 0;
    if (SUCCEEDED(reader->GetMetadataByName(name, &value))) {
        switch (value.vt) {
        case VT_UI1: duration = value.bVal; break;
        case VT_UI2: duration = value.uiVal; break;
        case VT_UI4: duration = value.ulVal; break;
        case VT_I4: duration = value.lVal > 0 ? static_cast<std::uint32_t>(value.lVal) : 0; break;
        default: break;
        }
    }
    PropVariantClear(&value);
    return duration;
}

} // namespace

std::uint32_t WebPFrameDelayMs(IWICMetadataQueryReader* reader) {
    if (reader == nullptr) return kDefaultDelayMs;
    for (const wchar_t* name : {L"/ANMF/Duration", L"/anmf/Duration", L"/imgdesc/Delay"}) {
        const std::uint32_t duration = ReadDuration(reader, name);
        if (duration != 0) return std::max(duration, kMinimumDelayMs);
    }
    return kDefaultDelayMs;
}

HRESULT WebPRenderer::DecodeStream(IStream* stream) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory.Get(), stream, decoder));
    UINT count = 0;
    RETURN_IF_FAILED(decoder->GetFrameCount(&count));
    if (count == 0) return E_FAIL;
    ReserveFrames(count);
    for (UINT index = 0; index < count; ++index) {
        if (ShouldStopLoading()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        ComPtr<IWICBitmapFrameDecode> frame;
        RETURN_IF_FAILED(decoder->GetFrame(index, &frame));
        ComPtr<IWICFormatConverter> converter;
        RETURN_IF_FAILED(CreateConverter(factory.Get(), frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
        ComPtr<IWICMetadataQueryReader> reader;
        if (FAILED(frame->GetMetadataQueryReader(&reader))) reader.Reset(); // no metadata: the default delay
        AppendFrame(converter, WebPFrameDelayMs(reader.Get()));
    }
    return S_OK;
}

} // namespace Quivane
