#include "MediaSampleReading.h"

#include <mfapi.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr std::uint32_t kStillDelayMs = 1000;

// Size and row layout of a sample of an RGB32 media type: stride width x 4
// when the type has none; negative means bottom-up.
struct SampleGeometry {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t stride = 0;
    std::uint64_t rowLength = 0;
};

HRESULT ReadSampleGeometry(IMFMediaType* type, SampleGeometry& geometry) {
    UINT64 size = 0;
    RETURN_IF_FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
    geometry.width = static_cast<std::uint32_t>(size >> 32);
    geometry.height = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    if (geometry.width == 0 || geometry.height == 0 || geometry.width > (1u << 28)) return E_FAIL;
    UINT32 strideValue = 0;
    geometry.stride = static_cast<std::int32_t>(geometry.width * 4);
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &strideValue))) {
        geometry.stride = static_cast<std::int32_t>(strideValue);
    }
    geometry.rowLength = geometry.stride < 0 ? -static_cast<std::int64_t>(geometry.stride) : geometry.stride;
    if (geometry.rowLength < static_cast<std::uint64_t>(geometry.width) * 4) return E_FAIL;
    return S_OK;
}

} // namespace

std::optional<VisibleArea> ReadVisibleArea(IMFMediaType* type, std::uint32_t width, std::uint32_t height) {
    for (const GUID& key : {MF_MT_MINIMUM_DISPLAY_APERTURE, MF_MT_GEOMETRIC_APERTURE}) {
        MFVideoArea area = {};
        UINT32 size = 0;
        if (SUCCEEDED(type->GetBlobSize(key, &size)) && size == sizeof(area) &&
            SUCCEEDED(type->GetBlob(key, reinterpret_cast<UINT8*>(&area), sizeof(area), nullptr))) {
            return ChooseVisibleArea(width, height, area.OffsetX.value, area.OffsetY.value,
                                     static_cast<std::uint32_t>(area.Area.cx), static_cast<std::uint32_t>(area.Area.cy));
        }
    }
    return std::nullopt;
}

HRESULT ReadNv12Layout(IMFMediaType* type, std::size_t bufferLength, Nv12Layout& layout) {
    UINT64 size = 0;
    RETURN_IF_FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size));
    layout.width = static_cast<std::uint32_t>(size >> 32);
    layout.height = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
    if (layout.width == 0 || layout.height == 0 || layout.width > (1u << 28) || layout.height > (1u << 28)) {
        return E_FAIL;
    }
    UINT32 stride = 0;
    const std::uint64_t rows = static_cast<std::uint64_t>(layout.height) + (layout.height + 1) / 2;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) && static_cast<INT32>(stride) >= static_cast<INT32>(layout.width)) {
        layout.stride = stride;
    } else if (bufferLength % rows == 0 && bufferLength / rows >= layout.width && bufferLength / rows < (1u << 30)) {
        layout.stride = static_cast<std::uint32_t>(bufferLength / rows);
    } else {
        layout.stride = layout.width;
    }
    UINT32 matrix = 0, range = 0;
    // Untagged video is taken as BT.601, as common software decoders take it.
    layout.matrix = SUCCEEDED(type->GetUINT32(MF_MT_YUV_MATRIX, &matrix)) && matrix == MFVideoTransferMatrix_BT709
                        ? YuvMatrix::Bt709
                        : YuvMatrix::Bt601;
    layout.fullRange = SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range)) && range == MFNominalRange_0_255;
    return Nv12Bytes(layout) != 0 ? S_OK : E_FAIL;
}

HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame) {
    if (type == nullptr || sample == nullptr) return E_POINTER;
    SampleGeometry geometry;
    RETURN_IF_FAILED(ReadSampleGeometry(type, geometry));
    frame.width = geometry.width;
    frame.height = geometry.height;
    frame.stride = static_cast<std::uint32_t>(geometry.rowLength);
    LONGLONG time = 0;
    if (SUCCEEDED(sample->GetSampleTime(&time))) frame.timestamp = time;

    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(&buffer));
    LockedMediaBuffer locked;
    RETURN_IF_FAILED(locked.Lock(buffer.Get()));
    const std::uint64_t needed = geometry.rowLength * frame.height;
    if (locked.length < needed) return E_FAIL;
    frame.visibleArea = ReadVisibleArea(type, frame.width, frame.height);
    frame.pixels.resize(static_cast<std::size_t>(needed));
    CopyRowsUpright(locked.data, geometry.stride, frame.stride, frame.height, frame.pixels.data());
    return S_OK;
}

HRESULT TestVideoSampleBrightness(IMFMediaType* type, IMFSample* sample, bool& bright) {
    bright = false;
    if (type == nullptr || sample == nullptr) return E_POINTER;
    SampleGeometry geometry;
    RETURN_IF_FAILED(ReadSampleGeometry(type, geometry));
    ComPtr<IMFMediaBuffer> buffer;
    RETURN_IF_FAILED(sample->ConvertToContiguousBuffer(&buffer));
    LockedMediaBuffer locked;
    RETURN_IF_FAILED(locked.Lock(buffer.Get()));
    if (locked.length < geometry.rowLength * geometry.height) return E_FAIL;
    bright = PassesDarknessTest(locked.data, locked.length, geometry.stride, geometry.width, geometry.height);
    return S_OK;
}


HRESULT CopyStillPixels(const DecodedVideoFrame& frame, FramePixels& still) {
    std::size_t offset = 0;
    std::uint32_t width = frame.width, height = frame.height;
    if (frame.visibleArea) {
        offset = static_cast<std::size_t>(frame.visibleArea->y) * frame.stride +
                 static_cast<std::size_t>(frame.visibleArea->x) * 4;
        if (offset >= frame.pixels.size()) return E_FAIL;
        width = frame.visibleArea->width;
        height = frame.visibleArea->height;
    }
    if (width == 0 || height == 0) return E_FAIL;
    // The area's last row need not reach the end of the buffer, but must lie inside it.
    if (static_cast<std::uint64_t>(height - 1) * frame.stride + static_cast<std::uint64_t>(width) * 4 >
        frame.pixels.size() - offset) {
        return E_FAIL;
    }
    still.width = width;
    still.height = height;
    still.delayMs = kStillDelayMs;
    still.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* from = frame.pixels.data() + offset + static_cast<std::size_t>(row) * frame.stride;
        std::uint8_t* to = still.pixels.data() + static_cast<std::size_t>(row) * width * 4;
        for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = 255; // the fourth byte of a video sample means nothing
        }
    }
    return S_OK;
}

} // namespace Quivane
