#include "ThumbnailPicture.h"

#include "ThumbnailSize.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/StreamBytes.h"
#include "renderers/AreaScale.h"
#include "renderers/FormatTable.h"
#include "renderers/FrameSource.h"

#include <memory>
#include <vector>

namespace Quivane {
namespace {

// A picture file is read once, in large pieces, into memory: decoders read
// in small pieces, and each read of a stream from another apartment is a
// round trip through the caller's thread, which only waits for the thumbnail.
constexpr std::uint32_t kThumbnailReadBytes = 8u << 20;

// A new top-down 32-bit DIB section of the thumbnail's size with the frame
// scaled into it.
HRESULT ScaleIntoBitmap(const FrameView& frame, UINT cx, UniqueGdiObject& dib) {
    if (frame.width == 0 || frame.height == 0) return E_FAIL;
    const ThumbnailSize size = FitThumbnail(frame.width, frame.height, cx);
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
    if (!ScalePremultipliedBgra(frame.pixels, frame.width, frame.height, frame.Stride(),
                                static_cast<std::uint8_t*>(bits), size.width, size.height,
                                static_cast<std::size_t>(size.width) * 4)) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The middle frame (or a video's still), scaled straight from the source's
// canvas: the frame is never copied whole.
HRESULT ScaleShownFrame(FrameSource& source, UINT cx, HBITMAP* out) {
    const std::uint32_t count = source.FrameCount();
    if (count == 0) return E_FAIL;
    UniqueGdiObject dib;
    RETURN_IF_FAILED(source.UseFrame(count / 2, [&](const FrameView& frame) { return ScaleIntoBitmap(frame, cx, dib); }));
    *out = static_cast<HBITMAP>(dib.Release());
    return S_OK;
}

} // namespace

HRESULT ReadPictureFile(IStream* stream, FileBytes& file) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RETURN_IF_FAILED(ReadWholeStream(stream, *bytes, nullptr, 0, kThumbnailReadBytes));
    file = std::move(bytes);
    return S_OK;
}

HRESULT MakeThumbnailBitmap(IStream* stream, UINT cx, HBITMAP* out, FileBytes* readForward) {
    if (stream == nullptr || out == nullptr) return E_POINTER;
    *out = nullptr;
    if (cx == 0) return E_INVALIDARG;
    ReadableStream readable;
    RETURN_IF_FAILED(OpenReadableStream(stream, readable, nullptr, 0, kThumbnailReadBytes));
    if (readForward != nullptr) *readForward = readable.bytes;
    const FormatRow* format = ChooseFormatForStream(readable.stream.Get(), L"");
    if (format == nullptr) return E_FAIL;
    if (readable.bytes) return MakeThumbnailBitmap(*format, readable.bytes, cx, out); // read forward already
    if (!format->decodesFromStream) {
        FileBytes file;
        RETURN_IF_FAILED(ReadPictureFile(readable.stream.Get(), file));
        return MakeThumbnailBitmap(*format, file, cx, out);
    }
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->Open(readable.stream.Get()));
    return ScaleShownFrame(*source, cx, out);
}

HRESULT MakeThumbnailBitmap(const FormatRow& format, const FileBytes& file, UINT cx, HBITMAP* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (cx == 0) return E_INVALIDARG;
    std::unique_ptr<FrameSource> source = CreateFrameSource(format);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(source->OpenBytes(file));
    return ScaleShownFrame(*source, cx, out);
}

} // namespace Quivane
