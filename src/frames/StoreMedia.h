#pragma once
// What the preview shows: the frames a load worker has put in the shared
// store so far (an animation may still be decoding), and for a video, whose
// store holds its one still, the time line the still stands on. Closing the
// store when the media goes tells the worker to stop.
#include "FrameStore.h"
#include "DecodedMedia.h"

#include <functional>
#include <memory>
#include <optional>

namespace Quivane {

// Where a video's still stands, in 100-ns units.
struct VideoTimeline {
    std::uint64_t duration = 0;
    std::uint64_t position = 0;
};

class StoreMedia final : public DecodedMedia {
public:
    explicit StoreMedia(std::shared_ptr<FrameStore> store, std::optional<VideoTimeline> timeline = std::nullopt)
        : store(std::move(store)), timeline(timeline) {}
    ~StoreMedia() override { store->Close(); }
    StoreMedia(const StoreMedia&) = delete;
    StoreMedia& operator=(const StoreMedia&) = delete;

    std::uint64_t FrameCount() const override { return store->FrameCount(); }
    std::uint32_t FrameDelay(std::uint32_t index) const override { return store->DelayMs(index); }
    void ShowFrame(std::uint32_t index) override;
    // E_PENDING while the frame is not decoded (or not kept) yet.
    HRESULT GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const override;
    bool IsFrameReady(std::uint32_t index) const override { return store->Has(index); }
    // A frame handed out here is drawn: the store's hold on decoding ahead ends.
    std::shared_ptr<const FramePixels> FramePicture(std::uint32_t index) const override;
    bool IsTimeBased() const override { return timeline.has_value(); }
    std::uint64_t Duration() const override { return timeline ? timeline->duration : 0; }
    std::uint64_t Position() const override { return timeline ? timeline->position : 0; }

    const FrameStore& Store() const { return *store; }
    const MediaFacts& Facts() const override { return facts; }
    void SetFacts(MediaFacts newFacts) { facts = std::move(newFacts); }

    // Composes frame `index` again at the canvas's full size.
    using WholeFrameReader = std::function<HRESULT(std::uint32_t index, FramePixels& frame)>;
    // For a store that keeps its frames reduced: the frame bitmaps handed out
    // (to save or copy) are then the canvas's size, read with `reader` when
    // their pixels are first wanted.
    void SetWholeFrameReader(WholeFrameReader reader, std::uint32_t canvasWidth, std::uint32_t canvasHeight) {
        wholeFrames = std::move(reader);
        wholeWidth = canvasWidth;
        wholeHeight = canvasHeight;
    }

private:
    std::shared_ptr<FrameStore> store;
    std::optional<VideoTimeline> timeline;
    MediaFacts facts;
    WholeFrameReader wholeFrames;
    std::uint32_t wholeWidth = 0;
    std::uint32_t wholeHeight = 0;
};

} // namespace Quivane
