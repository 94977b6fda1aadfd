#pragma once
// What the pane shows once a file is decoded: its frames (as playback asks
// for them, and as pictures), for a video its time line, and what people are
// told of it. Which frame is current is playback's to say; the media is only
// told, so that decoding ahead keeps the frames around it.
#include <windows.h>
#include <wincodec.h>

#include "FramePixels.h"
#include "MediaFacts.h"
#include "PlaybackMedia.h"

#include <cstdint>
#include <memory>

namespace Quivane {

class DecodedMedia : public PlaybackMedia {
public:
    // The frame on screen now (clamped to the frames there are).
    virtual void ShowFrame(std::uint32_t index) = 0;
    [[nodiscard]] virtual HRESULT GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const = 0;
    // The frame's own pixels while they are held (null otherwise), for a
    // drawer that would rather not go through an imaging bitmap.
    virtual std::shared_ptr<const FramePixels> FramePicture(std::uint32_t index) const = 0;
    // The format, size and codec, for people.
    virtual const MediaFacts& Facts() const = 0;
};

} // namespace Quivane
