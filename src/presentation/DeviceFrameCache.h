#pragma once
// The Direct2D copies of frames for one render target: made for the frame on
// screen and kept for the few drawn last, so stepping back and forth does not
// copy again, while a long animation never holds more than a few.
#include "frames/DecodedMedia.h"

#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdint>
#include <list>

namespace Quivane {

// How a frame is laid on a target beyond being fitted and centred.
struct FrameLook {
    bool pixelExact = false;       // see PlaceFrame
    ID2D1Brush* underlay = nullptr; // fills the frame's area first, so it shows through transparent pixels
};

class DeviceFrameCache {
public:
    static constexpr std::size_t kDefaultMaxFrames = 2; // the frame on screen and the one before or after it
    static constexpr std::size_t kDefaultMaxBytes = 64u << 20;
    // Frames above this size are scaled to the target before the device gets them.
    static constexpr std::size_t kScaleFramesAboveBytes = 64u << 20;

    explicit DeviceFrameCache(std::size_t maxFrames = kDefaultMaxFrames, std::size_t maxBytes = kDefaultMaxBytes)
        : maxFrames(maxFrames), maxBytes(maxBytes) {}

    // The target whose copies are kept (the window's; null: none). Another
    // target drops the copies made for the one before.
    void KeepCopiesFor(ID2D1RenderTarget* target);
    // Draws frame `index` fitted and centred on `target`. Copies made for the
    // kept target stay; drawing on any other (a screenshot, a printed picture)
    // makes a copy only for that draw.
    [[nodiscard]] HRESULT DrawFrame(ID2D1RenderTarget* target, const DecodedMedia& frames, std::uint32_t index,
                                    const FrameLook& look = {});
    // The frames changed: every copy goes; the kept target stays.
    void Clear();

    std::size_t CachedFrames() const { return entries.size(); }
    std::size_t CachedBytes() const { return bytes; }

private:
    struct Entry {
        std::uint32_t index;
        Microsoft::WRL::ComPtr<ID2D1Bitmap> bitmap;
        std::size_t bytes;
    };

    bool MakeScaledCopy(ID2D1RenderTarget* target, const FramePixels& frame, Microsoft::WRL::ComPtr<ID2D1Bitmap>& bitmap,
                        HRESULT& hr) const;
    [[nodiscard]] HRESULT MakeCopy(ID2D1RenderTarget* target, const DecodedMedia& frames, std::uint32_t index,
                     Microsoft::WRL::ComPtr<ID2D1Bitmap>& bitmap) const;
    void EvictBeyondBounds();

    std::size_t maxFrames;
    std::size_t maxBytes;
    Microsoft::WRL::ComPtr<ID2D1RenderTarget> keptTarget;
    std::list<Entry> entries; // most recently drawn first
    std::size_t bytes = 0;
};

} // namespace Quivane
