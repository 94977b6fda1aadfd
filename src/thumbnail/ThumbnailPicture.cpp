#include "ThumbnailPicture.h"

#include "ThumbnailSize.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/StopResult.h"
#include "platform/StreamBytes.h"
#include "formats/FormatTable.h"
#include "frames/FrameSource.h"
#include "formats/FormatSources.h"

#include <functional>
#include <memory>
#include <vector>

namespace Quivane {
namespace {

// A picture file is read once, in large pieces, into memory: decoders read
// in small pieces, and each read of a stream from another apartment is a
// round trip through the caller's thread, which only waits for the thumbnail.
constexpr std::uint32_t kThumbnailReadBytes = 8u << 20;

// A new top-down 32-bit DIB section of the thumbnail's size for a picture of
// this size, as the target the frame is scaled into.
HRESULT MakeThumbnailTarget(std::uint32_t width, std::uint32_t height, UINT cx, UniqueGdiObject& dib,
                            ScaledFrameTarget& target) {
    if (width == 0 || height == 0) return E_FAIL;
    const ThumbnailSize size = FitThumbnail(width, height, cx);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(size.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(size.height); // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dib.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || bits == nullptr) return E_OUTOFMEMORY;
    target.width = size.width;
    target.height = size.height;
    target.pixels = static_cast<std::uint8_t*>(bits);
    target.stride = static_cast<std::size_t>(size.width) * 4;
    return S_OK;
}

// After frame `failed` would not decode: scales the last frame before the
// damage, as the preview keeps the frames before it. A source that composes
// reads frames in order for one frame each until one fails; a source that
// reads any frame directly is asked from `failed` back. Returns `damage` when
// not even frame 0 decodes.
HRESULT ScaleLastFrameBefore(FrameSource& source, std::uint32_t failed, HRESULT damage,
                             const ScaledFrameChooser& choose, const HRESULT& chosen) {
    if (source.ReadsAnyFrameDirectly()) {
        for (std::uint32_t index = failed; index-- > 0;) {
            const HRESULT hr = source.ScaleFrame(index, choose);
            if (SUCCEEDED(hr) || FAILED(chosen) || IsStop(hr)) return hr;
        }
        return damage;
    }
    std::uint32_t decodes = 0; // frames before `decodes` compose
    for (; decodes < failed; ++decodes) {
        const HRESULT hr = source.UseFrame(decodes, [](const FrameView&) { return S_OK; });
        if (IsStop(hr)) return hr;
        if (FAILED(hr)) break;
    }
    return decodes == 0 ? damage : source.ScaleFrame(decodes - 1, choose);
}

// The middle frame (or a video's still) scaled into the bitmap: a still
// picture straight from its decoded rows, an animation from the source's
// canvas; the frame is never copied whole. When the data fails at or before
// the middle, the last frame that decodes stands in for it.
HRESULT ScaleShownFrame(FrameSource& source, UINT cx, HBITMAP* out) {
    const std::uint32_t count = source.FrameCount();
    if (count == 0) return E_FAIL;
    UniqueGdiObject dib;
    HRESULT chosen = S_OK;
    const ScaledFrameChooser choose = [&](std::uint32_t width, std::uint32_t height, std::uint32_t,
                                          ScaledFrameTarget& target) {
        return chosen = MakeThumbnailTarget(width, height, cx, dib, target);
    };
    const std::uint32_t middle = count / 2;
    HRESULT hr = source.ScaleFrame(middle, choose);
    if (FAILED(hr) && SUCCEEDED(chosen) && !IsStop(hr) && !source.IsVideo()) {
        hr = ScaleLastFrameBefore(source, middle, hr, choose, chosen);
    }
    RETURN_IF_FAILED(hr);
    *out = static_cast<HBITMAP>(dib.Release());
    return S_OK;
}

} // namespace

HRESULT ReadPictureFile(IStream* stream, FileBytes& file, const StopToken& stop) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RETURN_IF_FAILED(ReadWholeStream(stream, *bytes, stop, kThumbnailReadBytes));
    file = std::move(bytes);
    return S_OK;
}

HRESULT MakeThumbnailBitmap(IStream* stream, UINT cx, HBITMAP* out, FileBytes* readForward, const StopToken& stop) {
    if (stream == nullptr || out == nullptr) return E_POINTER;
    *out = nullptr;
    if (cx == 0) return E_INVALIDARG;
    ReadableStream readable;
    RETURN_IF_FAILED(OpenReadableStream(stream, readable, stop, kThumbnailReadBytes));
    if (readForward != nullptr) *readForward = readable.bytes;
    const FormatRow* format = nullptr;
    RETURN_IF_FAILED(FindStreamFormat(readable.stream.Get(), L"", format));
    if (readable.bytes) return MakeThumbnailBitmap(*format, readable.bytes, cx, out, stop); // read forward already
    if (!format->decodesFromStream) {
        FileBytes file;
        RETURN_IF_FAILED(ReadPictureFile(readable.stream.Get(), file, stop));
        return MakeThumbnailBitmap(*format, file, cx, out, stop);
    }
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format, stop);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->Open(readable.stream.Get()));
    return ScaleShownFrame(*source, cx, out);
}

HRESULT MakeThumbnailBitmap(const FormatRow& format, const FileBytes& file, UINT cx, HBITMAP* out,
                            const StopToken& stop) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (cx == 0) return E_INVALIDARG;
    std::unique_ptr<FrameSource> source = CreateFrameSource(format, stop);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->OpenBytes(file));
    return ScaleShownFrame(*source, cx, out);
}

} // namespace Quivane
