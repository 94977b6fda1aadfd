#pragma once
// An animation shown while it is still being decoded: the frames are those a
// load worker has put in the shared store so far. Closing the store when the
// renderer goes tells the worker to stop.
#include "FrameStore.h"
#include "IAnimatedRenderer.h"

#include <functional>
#include <memory>

namespace Quivane {

class StoreRenderer final : public IAnimatedRenderer {
public:
    explicit StoreRenderer(std::shared_ptr<FrameStore> store) : store(std::move(store)) {}
    ~StoreRenderer() override { store->Close(); }
    StoreRenderer(const StoreRenderer&) = delete;
    StoreRenderer& operator=(const StoreRenderer&) = delete;

    // Its frames come from the worker, never from a stream of its own.
    HRESULT Load(IStream*) override { return E_NOTIMPL; }
    std::uint64_t GetFrameCount() const override { return store->FrameCount(); }
    std::uint32_t GetCurrentFrameIndex() const override { return current; }
    std::uint32_t GetFrameDelay(std::uint32_t index) const override { return store->DelayMs(index); }
    void SetCurrentFrame(std::uint32_t index) override;
    bool IsAnimated() const override { return store->FrameCount() >= 2; }
    std::uint32_t GetThumbnailFrameIndex() const override { return store->FrameCount() / 2; }
    // E_PENDING while the frame is not decoded (or not kept) yet.
    HRESULT GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const override;
    bool IsFrameReady(std::uint32_t index) const override { return store->Has(index); }
    // A frame handed out here is drawn: the store's hold on decoding ahead ends.
    std::shared_ptr<const FramePixels> FramePicture(std::uint32_t index) const override;
    bool IsTimeBased() const override { return false; }
    std::uint64_t GetDuration() const override { return 0; }
    std::uint64_t GetPosition() const override { return 0; }
    HRESULT LoadAtPosition(IStream*, std::uint64_t) override { return E_NOTIMPL; }

    const FrameStore& Store() const { return *store; }

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
    std::uint32_t current = 0;
    WholeFrameReader wholeFrames;
    std::uint32_t wholeWidth = 0;
    std::uint32_t wholeHeight = 0;
};

} // namespace Quivane
