// PNG files, decoded by our own decoder: an animated PNG's frames composed in
// order on one canvas, or a plain PNG's one image.
#include "ApngComposition.h"
#include "imaging/AreaScale.h"
#include "frames/FrameSource.h"
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

// How a frame's decoding ended, as the source answers it.
HRESULT DecodeResult(PngImageEnd end) {
    switch (end) {
    case PngImageEnd::Complete: return S_OK;
    // As a platform decoder shows such a file: every row is there.
    case PngImageEnd::DamagedTail: NoteFailure(WINCODEC_ERR_BADIMAGE, __FILE__, __LINE__); return S_OK;
    case PngImageEnd::Stopped: return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    case PngImageEnd::NoMemory: RETURN_FAILURE(E_OUTOFMEMORY);
    default: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    }
}

constexpr std::uint32_t kPlainFrameDelayMs = 80;

class PngFrameSource final : public FrameSource {
public:
    explicit PngFrameSource(const StopToken& stop) : FrameSource(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        shown_.clear();
        canvas_.reset();
        next_ = 0;
        firstFrameDrawn_ = false;
        if (!IsPngSignature(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
        switch (ParseApngChunks(file_->data(), file_->size(), state_, [this] { return Stop().ShouldStop(); })) {
        case ChunkWalkResult::Ok: break;
        case ChunkWalkResult::Malformed: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        case ChunkWalkResult::Stopped: return HRESULT_FROM_WIN32(ERROR_CANCELLED); // whatever the reason
        }
        if (!state_.sawIHDR) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
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
            if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
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

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (StreamsRows()) return ReadWholePicture(index, frame);
        return ComposeThrough(index, [&](const FrameView& view) { return CopyFrame(view, frame); });
    }

    HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) override {
        return ComposeThrough(index, use);
    }

    HRESULT ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) override {
        if (!StreamsRows()) return FrameSource::ScaleFrame(index, choose);
        if (index != 0) return E_INVALIDARG;
        const std::uint32_t width = state_.CanvasWidth();
        ScaledFrameTarget target;
        RETURN_IF_FAILED(choose(width, state_.CanvasHeight(), ApngDelayMs(plain_.delay_num, plain_.delay_den), target));
        AreaRowScaler scaler;
        if (!scaler.Begin(width, state_.CanvasHeight(), target.pixels, target.width, target.height, target.stride)) {
            return E_OUTOFMEMORY;
        }
        RETURN_IF_FAILED(DecodePlainRows(
            [&](std::uint32_t row, const std::uint8_t* bgra) { scaler.AddRow(row, 0, bgra, width); },
            kPngWholeFrameLimitWhileScaling));
        scaler.Finish();
        return S_OK;
    }

    bool ReadsAnyFrameDirectly() const override { return shown_.size() <= 1; }

    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override {
        if (!canvas_ || firstFrameDrawn_) return E_UNEXPECTED; // not between two frames
        checkpoint.nextFrame = next_;
        checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
        return S_OK;
    }

    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override {
        if (checkpoint.nextFrame >= FrameCount()) return E_INVALIDARG;
        if (!canvas_) canvas_.reset(new ApngCanvas(state_.CanvasWidth(), state_.CanvasHeight()));
        if (!canvas_->Restore(checkpoint.canvas)) return E_INVALIDARG;
        next_ = checkpoint.nextFrame;
        firstFrameDrawn_ = false;
        return S_OK;
    }

    std::uint32_t SelfContainedFrameAtOrBefore(std::uint32_t index) const override {
        if (shown_.size() <= 1) return 0;
        for (std::uint32_t frame = std::min<std::uint32_t>(index, FrameCount() - 1); frame > 0; --frame) {
            if (IsSelfContained(*shown_[frame])) return frame;
        }
        return 0;
    }

    HRESULT ResumeAtSelfContainedFrame(std::uint32_t index) override {
        if (index == 0 || index >= FrameCount() || !IsSelfContained(*shown_[index])) return E_INVALIDARG;
        // Whatever the canvas holds, the frame covers it.
        if (!canvas_) canvas_.reset(new ApngCanvas(state_.CanvasWidth(), state_.CanvasHeight()));
        next_ = index;
        firstFrameDrawn_ = false;
        return S_OK;
    }

private:
    // A plain picture whose rows come in order: scaled or copied as they are
    // decoded, it never needs a canvas of its own.
    bool StreamsRows() const { return shown_.size() == 1 && shown_[0] == &plain_ && !format_.interlaced; }

    // The plain picture's rows, top to bottom, each handed to `take` as BGRA.
    HRESULT DecodePlainRows(const std::function<void(std::uint32_t row, const std::uint8_t* bgra)>& take,
                            std::size_t wholeFrameLimit = kPngWholeFrameLimit) {
        const PngImageEnd end = frameDecoder_.Decode(
            format_, colours_, plain_.pieces,
            [&](std::uint32_t row, std::uint32_t, std::uint32_t, const std::uint8_t* bgra, std::uint32_t) {
                take(row, bgra);
                return !Stop().ShouldStop();
            },
            wholeFrameLimit);
        return DecodeResult(end);
    }

    // The plain picture at full size, decoded straight into `frame`: held once, never as a canvas and a copy.
    HRESULT ReadWholePicture(std::uint32_t index, FramePixels& frame) {
        if (index != 0) return E_INVALIDARG;
        const std::uint32_t width = state_.CanvasWidth();
        const std::uint32_t height = state_.CanvasHeight();
        RETURN_IF_FAILED(CheckCanvasSize(width, height));
        const std::size_t stride = static_cast<std::size_t>(width) * 4;
        try {
            frame.pixels.resize(stride * height);
        } catch (const std::bad_alloc&) {
            frame.pixels = {};
            return E_OUTOFMEMORY;
        }
        frame.width = width;
        frame.height = height;
        frame.delayMs = ApngDelayMs(plain_.delay_num, plain_.delay_den);
        return DecodePlainRows([&](std::uint32_t row, const std::uint8_t* bgra) {
            std::memcpy(frame.pixels.data() + stride * row, bgra, stride);
        });
    }

    // Composes the animation's frames up to `index` and hands the canvas to
    // `take` between that frame's drawing and its disposal.
    HRESULT ComposeThrough(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& take) {
        if (index >= FrameCount()) return E_INVALIDARG;
        const std::uint32_t width = state_.CanvasWidth();
        const std::uint32_t height = state_.CanvasHeight();
        if (!canvas_ || index < next_) {
            canvas_.reset();
            RETURN_IF_FAILED(CheckCanvasSize(width, height)); // a still picture's is checked only now
            canvas_.reset(new ApngCanvas(width, height));
            next_ = 0;
            firstFrameDrawn_ = false;
        }
        for (; next_ <= index; ++next_) {
            if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            const ApngFrameControl& control = *shown_[next_];
            const HRESULT hr = next_ == 0 && firstFrameDrawn_ ? S_OK : DrawFrame(control);
            firstFrameDrawn_ = false;
            if (FAILED(hr)) {
                canvas_.reset(); // half drawn: the next read starts over
                return hr;
            }
            const HRESULT taken = next_ == index ? take(FrameView{width, height, canvas_->Pixels(),
                                                                 ApngDelayMs(control.delay_num, control.delay_den)})
                                                 : S_OK;
            canvas_->Dispose(control);
            if (FAILED(taken)) {
                ++next_;
                return taken;
            }
        }
        return S_OK;
    }

    // Whether the animation has frames, all on the canvas, and its first
    // frame decodes. Only a file whose default image could stand in asks; the
    // frame is drawn on the canvas and kept there for the first read.
    bool AnimationIsUsable() {
        if (shown_.empty()) return false;
        for (const ApngFrameControl* control : shown_) {
            if (!ApngRegionFits(state_.CanvasWidth(), state_.CanvasHeight(), *control)) return false;
        }
        canvas_.reset(new ApngCanvas(state_.CanvasWidth(), state_.CanvasHeight()));
        if (FAILED(DrawFrame(*shown_[0]))) {
            canvas_.reset();
            return false;
        }
        firstFrameDrawn_ = true;
        return true;
    }

    // Whether a frame replaces every pixel of the canvas and keeps nothing of
    // it afterwards, as its control and the image's colours tell.
    bool IsSelfContained(const ApngFrameControl& control) const {
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
    HRESULT DrawFrame(const ApngFrameControl& control) {
        PngImageFormat format = format_;
        format.width = control.width;
        format.height = control.height;
        canvas_->BeginFrame(control);
        const PngImageEnd end = frameDecoder_.Decode(
            format, colours_, control.pieces,
            [&](std::uint32_t row, std::uint32_t firstColumn, std::uint32_t columnStep, const std::uint8_t* bgra,
                std::uint32_t count) {
                canvas_->DrawRun(control, row, firstColumn, columnStep, bgra, count);
                return !Stop().ShouldStop();
            });
        return DecodeResult(end);
    }

    FileBytes file_; // the animation's chunks point into these
    ApngParseState state_;
    std::vector<const ApngFrameControl*> shown_;
    std::unique_ptr<ApngCanvas> canvas_;
    std::uint32_t next_ = 0;
    bool firstFrameDrawn_ = false; // the canvas holds frame 0 drawn, not yet taken nor disposed
    PngImageFormat format_;
    PngColours colours_;
    PngImageDecoder frameDecoder_;
    ApngFrameControl plain_; // the one frame of a file that does not animate
};

} // namespace

FrameSource* CreatePngFrameSource(const StopToken& stop) { return new (std::nothrow) PngFrameSource(stop); }

} // namespace Quivane
