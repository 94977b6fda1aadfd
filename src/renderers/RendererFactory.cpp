#include "RendererFactory.h"

#include "ApngRenderer.h"
#include "GifRenderer.h"
#include "RendererSelection.h"
#include "VideoStillRenderer.h"
#include "WebPRenderer.h"

namespace Quivane {

IAnimatedRenderer* CreateRendererForPath(const std::wstring& name) {
    switch (RendererKindForName(name)) {
    case RendererKind::Gif: return new GifRenderer();
    case RendererKind::WebP: return new WebPRenderer();
    case RendererKind::Apng: return new ApngRenderer();
    case RendererKind::VideoStill: return new VideoStillRenderer();
    case RendererKind::None: break;
    }
    return nullptr;
}

std::wstring SyntheticNameFromStream(IStream* stream) {
    if (stream == nullptr) return SyntheticNameForHeader(nullptr, 0);
    std::uint8_t header[kSniffHeaderSize] = {};
    ULONG read = 0;
    const LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    const HRESULT hr = stream->Read(header, sizeof(header), &read);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return SyntheticNameForHeader(nullptr, 0);
    return SyntheticNameForHeader(header, read > sizeof(header) ? sizeof(header) : read);
}

} // namespace Quivane
