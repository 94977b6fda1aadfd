#pragma once
// What the preview shows from once a file is decoded: frame questions, the
// frames themselves and, for videos, a position on a time line. Drawing them
// is the presenter's.
#include <windows.h>
#include <wincodec.h>

#include "FramePixels.h"
#include "MediaFacts.h"

#include <cstdint>
#include <memory>

namespace Quivane {

class IAnimatedRenderer {
public:
    virtual ~IAnimatedRenderer() = default;
    virtual std::uint64_t GetFrameCount() const = 0;
    virtual std::uint32_t GetCurrentFrameIndex() const = 0;
    virtual std::uint32_t GetFrameDelay(std::uint32_t index) const = 0;
    virtual void SetCurrentFrame(std::uint32_t index) = 0;
    [[nodiscard]] virtual HRESULT GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const = 0;
    // Whether GetFrameBitmap can hand out the frame now; frames still being
    // decoded in the background are not ready yet.
    virtual bool IsFrameReady(std::uint32_t index) const = 0;
    // The frame's own pixels while they are held (null otherwise), for a
    // drawer that would rather not go through an imaging bitmap.
    virtual std::shared_ptr<const FramePixels> FramePicture(std::uint32_t index) const = 0;
    virtual bool IsTimeBased() const = 0;
    virtual std::uint64_t GetDuration() const = 0;
    virtual std::uint64_t GetPosition() const = 0;
    // The format, size and codec, for people.
    virtual const MediaFacts& Facts() const = 0;
};

} // namespace Quivane
