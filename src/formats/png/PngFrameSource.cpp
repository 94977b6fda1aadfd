// PNG files, decoded by our own decoder: an animated PNG's frames composed in
// order on one canvas, or a plain PNG's one image.
#include "ApngCanvas.h"
#include "frames/ComposingFrameSource.h"
#include "PngChunks.h"
#include "PngFormat.h"
#include "PngFrameSource.h"
#include "PngImageDecoder.h"
#include "platform/HResult.h"
#include "imaging/CanvasSize.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace Quivane {
namespace {

// How a frame's decoding ended, as the source answers it; `stopped` when it was stopped.
HRESULT DecodeResult(PngImageEnd end, HRESULT stopped) {
    switch (end) {
    case PngImageEnd::Complete: return S_OK;
    // As a platform decoder shows such a file: every row is there. Nothing
    // failed, so nothing is recorded: a later failure's place stays its own.
    case PngImageEnd::DamagedTail: return S_OK;
    case PngImageEnd::Stopped: return stopped;
    case PngImageEnd::NoMemory: RETURN_FAILURE(E_OUTOFMEMORY);
    default: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    }
}

constexpr std::uint32_t kPlainFrameDelayMs = 80;

class PngFrameSource final : public ComposingFrameSourceOn<ApngCanvas> {
public:
    explicit PngFrameSource(const StopToken& stop) : ComposingFrameSourceOn(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        shown_.clear();
        if (!IsPngSignature(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
        switch (ParseApngChunks(file_->data(), file_->size(), state_, [this] { return Stop().ShouldStop(); })) {
        case ChunkWalkResult::Ok: break;
        case ChunkWalkResult::Malformed: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        case ChunkWalkResult::Stopped: return Stopped();
        }
        if (!state_.sawIHDR) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        StartComposition(state_.CanvasWidth(), state_.CanvasHeight());
        if (state_.sawAcTL) {
            for (const ApngFrameControl& control : state_.controls) {
                if (!IsSkippedControl(control)) shown_.push_back(&control);
            }
        }
        if (!ReadPngImageFormat(state_.ihdr, format_) || !ReadPngColours(format_, state_.ancillaryChunks, colours_)) {
            RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        }
        // A default image outside the animation stands in for an animation
        // that cannot play, as it does for a viewer that does not animate.
        if (state_.defaultImageHidden &&
            (FAILED(CheckCanvasSize(state_.CanvasWidth(), state_.CanvasHeight())) || !AnimationIsUsable())) {
            if (Stop().ShouldStop()) return Stopped();
            shown_.clear();
        }
        if (shown_.empty()) {
            // No animation, or every frame control skipped: the file's own image is its one frame.
            if (state_.imagePieces.empty()) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
            plain_.width = state_.CanvasWidth();
            plain_.height = state_.CanvasHeight();
            plain_.delay_num = kPlainFrameDelayMs;
            plain_.delay_den = 1000;
            plain_.pieces = state_.imagePieces;
            shown_.push_back(&plain_);
        }
        for (const ApngFrameControl* control : shown_) {
            // Overhanging regions are errors, not clipped.
            if (!ApngRegionFits(state_.CanvasWidth(), state_.CanvasHeight(), *control)) {
                RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
            }
        }
        // A still picture needs only its rows in memory; an animation, or an
        // interlaced image (its rows come in passes), its whole canvas.
        return StreamsRows() ? CheckRowSize(state_.CanvasWidth())
                             : CheckCanvasSize(state_.CanvasWidth(), state_.CanvasHeight());
    }

    std::uint32_t FrameCount() const override { return static_cast<std::uint32_t>(shown_.size()); }

    // A thumbnail of a huge picture streams its rows through the scaler, so
    // the rows are inflated as they are needed rather than the whole frame at once.
    HRESULT ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) override {
        wholeFrameLimit_ = kPngWholeFrameLimitWhileScaling;
        const HRESULT hr = ComposingFrameSource::ScaleFrame(index, choose);
        wholeFrameLimit_ = kPngWholeFrameLimit;
        return hr;
    }

private:
    // A plain picture whose rows come in order: scaled or copied as they are
    // decoded, it never needs a canvas of its own.
    bool StreamsRows() const override { return shown_.size() == 1 && shown_[0] == &plain_ && !format_.interlaced; }

    // The plain picture's rows, top to bottom.
    HRESULT DecodePictureRows(const PictureRowSink& take) override {
        const std::uint32_t width = state_.CanvasWidth();
        const PngImageEnd end = frameDecoder_.Decode(
            format_, colours_, plain_.pieces,
            [&](std::uint32_t row, std::uint32_t, std::uint32_t, const std::uint8_t* bgra, std::uint32_t) {
                take(row, 0, bgra, width);
                return !Stop().ShouldStop();
            },
            wholeFrameLimit_);
        return DecodeResult(end, Stopped());
    }

    std::uint32_t FrameDelayMs(std::uint32_t index) const override {
        return ApngDelayMs(shown_[index]->delay_num, shown_[index]->delay_den);
    }

    bool IsSelfContained(std::uint32_t index) const override { return CoversCanvasAlone(*shown_[index]); }

    HRESULT Draw(std::uint32_t index, ApngCanvas& canvas) override { return DrawControl(*shown_[index], canvas); }

    void Dispose(std::uint32_t index, ApngCanvas& canvas) override { canvas.Dispose(*shown_[index]); }

    // Whether the animation has frames, all on the canvas, and its first
    // frame decodes. Only a file whose default image could stand in asks; the
    // frame is drawn on the canvas and kept there for the first read.
    bool AnimationIsUsable() {
        if (shown_.empty()) return false;
        for (const ApngFrameControl* control : shown_) {
            if (!ApngRegionFits(state_.CanvasWidth(), state_.CanvasHeight(), *control)) return false;
        }
        return SUCCEEDED(DrawFirstFrameAhead());
    }

    // Whether a frame replaces every pixel of the canvas and keeps nothing of
    // it afterwards, as its control and the image's colours tell.
    bool CoversCanvasAlone(const ApngFrameControl& control) const {
        if (control.x_offset != 0 || control.y_offset != 0 || control.width != state_.CanvasWidth() ||
            control.height != state_.CanvasHeight() || control.dispose_op == kApngDisposePrevious) {
            return false;
        }
        return control.blend_op == kApngBlendSource || IsOpaque();
    }

    // Whether every pixel the image's colours can give is opaque.
    bool IsOpaque() const {
        if (format_.colourType == kPngGreyAlpha || format_.colourType == kPngRgba || colours_.hasKey) return false;
        if (!colours_.hasPalette) return true;
        return std::all_of(colours_.palette.begin(), colours_.palette.end(),
                           [](std::uint32_t colour) { return (colour >> 24) == 0xFF; });
    }

    // Decodes the frame's rows straight onto the canvas: no frame-sized buffer.
    HRESULT DrawControl(const ApngFrameControl& control, ApngCanvas& canvas) {
        PngImageFormat format = format_;
        format.width = control.width;
        format.height = control.height;
        canvas.BeginFrame(control);
        const PngImageEnd end = frameDecoder_.Decode(
            format, colours_, control.pieces,
            [&](std::uint32_t row, std::uint32_t firstColumn, std::uint32_t columnStep, const std::uint8_t* bgra,
                std::uint32_t count) {
                canvas.DrawRun(control, row, firstColumn, columnStep, bgra, count);
                return !Stop().ShouldStop();
            });
        return DecodeResult(end, Stopped());
    }

    FileBytes file_; // the animation's chunks point into these
    ApngParseState state_;
    std::vector<const ApngFrameControl*> shown_;
    PngImageFormat format_;
    PngColours colours_;
    PngImageDecoder frameDecoder_;
    ApngFrameControl plain_; // the one frame of a file that does not animate
    std::size_t wholeFrameLimit_ = kPngWholeFrameLimit; // the largest frame inflated in one call
};

} // namespace

FrameSource* CreatePngFrameSource(const StopToken& stop) { return new (std::nothrow) PngFrameSource(stop); }

} // namespace Quivane
