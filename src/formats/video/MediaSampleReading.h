#pragma once
// What one sample of the platform's video reader holds: its bytes locked
// where the decoder left them, their layout, the darkness test on them, and
// the still copied out of the one that is kept.
#include "frames/FrameSource.h"
#include "Nv12Picture.h"
#include "VideoFrame.h"
#include "platform/HResult.h"

#include <mfidl.h>
#include <mfobjects.h>
#include <wrl/client.h>

#include <optional>

namespace Quivane {

// A media buffer locked for reading, unlocked on every way out.
class LockedMediaBuffer {
public:
    LockedMediaBuffer() = default;
    ~LockedMediaBuffer() {
        if (buffer_) buffer_->Unlock();
    }
    LockedMediaBuffer(const LockedMediaBuffer&) = delete;
    LockedMediaBuffer& operator=(const LockedMediaBuffer&) = delete;

    HRESULT Lock(IMFMediaBuffer* buffer) {
        RETURN_IF_FAILED(buffer->Lock(&data, nullptr, &length));
        buffer_ = buffer;
        return S_OK;
    }

    BYTE* data = nullptr;
    DWORD length = 0;

private:
    Microsoft::WRL::ComPtr<IMFMediaBuffer> buffer_;
};

// The aperture to show, when the current type names one other than the whole frame.
[[nodiscard]] std::optional<VisibleArea> ReadVisibleArea(IMFMediaType* type, std::uint32_t width, std::uint32_t height);

// The NV12 layout of the current type. Without a stride in the type, one
// that the buffer's length fits exactly is taken, else the width.
[[nodiscard]] HRESULT ReadNv12Layout(IMFMediaType* type, std::size_t bufferLength, Nv12Layout& layout);

// The still as an opaque picture, cut to its visible area.
[[nodiscard]] HRESULT CopyStillPixels(const DecodedVideoFrame& frame, FramePixels& still);

// Converts one RGB32 sample of the given media type: size, stride (width x 4
// when the type has none; negative means bottom-up), visible area from the
// apertures, rows copied upright.
[[nodiscard]] HRESULT ReadVideoFrame(IMFMediaType* type, IMFSample* sample, DecodedVideoFrame& frame);

// The darkness test on an RGB32 sample where the decoder left it, without a copy.
[[nodiscard]] HRESULT TestVideoSampleBrightness(IMFMediaType* type, IMFSample* sample, bool& bright);

} // namespace Quivane
