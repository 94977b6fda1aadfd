#pragma once
// A source whose frames are composed in order on one canvas (GIF, APNG,
// animated WebP). It owns the canvas, where composition stands, the
// checkpoints and the compose loop; a format says only how to draw one frame
// on the canvas, how to dispose of it, and whether a frame needs no earlier
// one. A still picture whose rows come in order may instead hand them out as
// they are decoded, never holding a canvas.
#include "FrameSource.h"
#include "imaging/CompositionCanvas.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace Quivane {

// `count` pixels of canvas row `row` from column `left` on, as BGRA; the rest
// of the row is transparent.
using PictureRowSink = FrameRowTaker;

class ComposingFrameSource : public FrameSource {
public:
    using FrameSource::FrameSource;

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override;
    HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) override;
    HRESULT ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) override;
    HRESULT StreamRows(const FrameRowsBegin& begin, const FrameRowTaker& take) override;
    bool ReadsAnyFrameDirectly() const override { return FrameCount() <= 1; }
    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override;
    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override;
    std::uint32_t SelfContainedFrameAtOrBefore(std::uint32_t index) const override;
    HRESULT ResumeAtSelfContainedFrame(std::uint32_t index) override;

protected:
    // A newly opened file: its canvas's size; nothing composed yet.
    void StartComposition(std::uint32_t width, std::uint32_t height);
    // Draws frame 0 while the file opens, to learn whether it decodes; the
    // first read then takes it as drawn.
    [[nodiscard]] HRESULT DrawFirstFrameAhead();

    // Draws frame `index` on the canvas, which holds what the frames before it left.
    [[nodiscard]] virtual HRESULT DrawFrame(std::uint32_t index, CompositionCanvas& canvas) = 0;
    // Applies frame `index`'s disposal once its picture has been taken.
    virtual void DisposeFrame(std::uint32_t index, CompositionCanvas& canvas) = 0;
    virtual std::uint32_t FrameDelayMs(std::uint32_t index) const = 0;
    // Whether frame `index` is known to leave nothing of the canvas before it.
    virtual bool IsSelfContained(std::uint32_t index) const = 0;
    virtual std::unique_ptr<CompositionCanvas> NewCanvas(std::uint32_t width, std::uint32_t height) const = 0;

    // Composition starts over at frame `from` to reach frame `target`.
    virtual void StartingOver(std::uint32_t from, std::uint32_t target) {
        (void)from;
        (void)target;
    }
    // A frame passed on the way to a later one, composed in a cheaper way of
    // the format's own; false when it must be drawn on the canvas.
    virtual bool PassFrame(std::uint32_t index) {
        (void)index;
        return false;
    }

    // One still picture whose rows come in order needs no canvas: its rows
    // are handed out as they are decoded.
    virtual bool StreamsRows() const { return false; }
    [[nodiscard]] virtual HRESULT DecodePictureRows(const PictureRowSink& take) {
        (void)take;
        return E_NOTIMPL;
    }

    std::uint32_t CanvasWidth() const { return width_; }
    std::uint32_t CanvasHeight() const { return height_; }

private:
    [[nodiscard]] HRESULT ComposeThrough(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& take);
    [[nodiscard]] HRESULT MakeCanvas();
    [[nodiscard]] HRESULT StartOver(std::uint32_t from, std::uint32_t target);
    [[nodiscard]] HRESULT ReadWholePicture(std::uint32_t index, FramePixels& frame);

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<CompositionCanvas> canvas_;
    std::uint32_t next_ = 0; // the frame the canvas is ready to receive
    bool firstFrameDrawn_ = false; // the canvas holds frame 0 drawn, not yet taken nor disposed
    bool canvasBehind_ = false;    // frames were passed without it: it is not where composition stands
};

// A format's composing source drawing on its own kind of canvas.
template <typename Canvas>
class ComposingFrameSourceOn : public ComposingFrameSource {
public:
    using ComposingFrameSource::ComposingFrameSource;

protected:
    [[nodiscard]] virtual HRESULT Draw(std::uint32_t index, Canvas& canvas) = 0;
    virtual void Dispose(std::uint32_t index, Canvas& canvas) = 0;

private:
    // The canvas is always one NewCanvas made, so it is always a Canvas.
    HRESULT DrawFrame(std::uint32_t index, CompositionCanvas& canvas) final {
        return Draw(index, static_cast<Canvas&>(canvas));
    }
    void DisposeFrame(std::uint32_t index, CompositionCanvas& canvas) final {
        Dispose(index, static_cast<Canvas&>(canvas));
    }
    std::unique_ptr<CompositionCanvas> NewCanvas(std::uint32_t width, std::uint32_t height) const final {
        return std::make_unique<Canvas>(width, height);
    }
};

} // namespace Quivane
