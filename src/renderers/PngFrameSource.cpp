// PNG files: an animated PNG's frames decoded by our own decoder and composed
// in order on one canvas, or a plain PNG as the platform's codec decodes it.
#include "ApngComposition.h"
#include "FrameSource.h"
#include "LoadStopCondition.h"
#include "PngChunks.h"
#include "PngImageDecoder.h"
#include "platform/ComAdopt.h"
#include "platform/HResult.h"
#include "platform/StreamBytes.h"
#include "platform/WicImaging.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace Quivane {
namespace {

constexpr std::uint32_t kPlainFrameDelayMs = 80;

class PngFrameSource final : public FrameSource {
public:
    HRESULT Open(IStream* stream) override {
        if (stream == nullptr) return E_POINTER;
        RETURN_IF_FAILED(ReadWholeStream(stream, bytes_));
        if (bytes_.size() < 8 || std::memcmp(bytes_.data(), kPngSignature, 8) != 0) return E_FAIL;
        RETURN_IF_FAILED(CreateImagingFactory(factory_));
        switch (ParseApngChunks(bytes_.data(), bytes_.size(), state_, [] { return ShouldStopLoading(); })) {
        case ChunkWalkResult::Ok: break;
        case ChunkWalkResult::Malformed: return E_FAIL;
        case ChunkWalkResult::Stopped: return HRESULT_FROM_WIN32(ERROR_CANCELLED); // whatever the reason
        }
        if (!state_.sawIHDR) return E_FAIL;
        if (state_.sawAcTL) {
            for (const ApngFrameControl& control : state_.controls) {
                if (!IsSkippedControl(control)) shown_.push_back(&control);
            }
        }
        // Before the platform's decoder sees the file: it may decode the whole picture when it opens.
        RETURN_IF_FAILED(CheckCanvasSize(state_.CanvasWidth(), state_.CanvasHeight()));
        if (shown_.empty()) return OpenPlain(stream);
        for (const ApngFrameControl* control : shown_) {
            // Overhanging regions are errors, not clipped.
            if (!ApngRegionFits(state_.CanvasWidth(), state_.CanvasHeight(), *control)) return E_FAIL;
        }
        if (!ReadPngImageFormat(state_.ihdr, format_) || !ReadPngColours(format_, state_.ancillaryChunks, colours_)) {
            return E_FAIL;
        }
        return S_OK;
    }

    std::uint32_t FrameCount() const override {
        return plain_ ? plainCount_ : static_cast<std::uint32_t>(shown_.size());
    }

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (plain_) return index < FrameCount() ? ReadPlainFrame(index, frame) : E_INVALIDARG;
        return ComposeThrough(index, [&](const FrameView& view) { return CopyFrame(view, frame); });
    }

    HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) override {
        if (plain_) return FrameSource::UseFrame(index, use);
        return ComposeThrough(index, use);
    }

    bool ReadsAnyFrameDirectly() const override { return plain_; }

    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override {
        if (plain_) return E_NOTIMPL;
        if (!canvas_) return E_UNEXPECTED;
        checkpoint.nextFrame = next_;
        checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
        return S_OK;
    }

    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override {
        if (plain_) return E_NOTIMPL;
        if (!factory_) return E_UNEXPECTED;
        if (checkpoint.nextFrame >= FrameCount()) return E_INVALIDARG;
        if (!canvas_) canvas_.reset(new ApngCanvas(state_.CanvasWidth(), state_.CanvasHeight()));
        if (!canvas_->Restore(checkpoint.canvas)) return E_INVALIDARG;
        next_ = checkpoint.nextFrame;
        return S_OK;
    }

private:
    // Composes the animation's frames up to `index` and hands the canvas to
    // `take` between that frame's drawing and its disposal.
    HRESULT ComposeThrough(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& take) {
        if (!factory_) return E_UNEXPECTED;
        if (index >= FrameCount()) return E_INVALIDARG;
        const std::uint32_t width = state_.CanvasWidth();
        const std::uint32_t height = state_.CanvasHeight();
        if (!canvas_ || index < next_) {
            canvas_.reset();
            canvas_.reset(new ApngCanvas(width, height));
            next_ = 0;
        }
        for (; next_ <= index; ++next_) {
            if (ShouldStopLoading()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            const ApngFrameControl& control = *shown_[next_];
            const HRESULT hr = DrawFrame(control);
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
                return !ShouldStopLoading();
            });
        switch (end) {
        case PngImageEnd::Complete: return S_OK;
        case PngImageEnd::Stopped: return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        default: return E_FAIL;
        }
    }

    // No animation, or every frame control skipped: the platform shows the file as it is.
    HRESULT OpenPlain(IStream* stream) {
        plain_ = true;
        bytes_.clear();
        bytes_.shrink_to_fit();
        state_ = ApngParseState{};
        RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
        RETURN_IF_FAILED(CreateDecoder(factory_.Get(), stream, decoder_));
        RETURN_IF_FAILED(decoder_->GetFrameCount(&plainCount_));
        if (plainCount_ == 0) return E_FAIL;
        return S_OK;
    }

    HRESULT ReadPlainFrame(std::uint32_t index, FramePixels& frame) {
        if (ShouldStopLoading()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        RETURN_IF_FAILED(ReadDecodedFrame(factory_.Get(), decoder_.Get(), index, frame));
        frame.delayMs = kPlainFrameDelayMs;
        return S_OK;
    }

    std::vector<std::uint8_t> bytes_; // the animation's chunks point into these
    ApngParseState state_;
    std::vector<const ApngFrameControl*> shown_;
    ComPtr<IWICImagingFactory> factory_;
    std::unique_ptr<ApngCanvas> canvas_;
    std::uint32_t next_ = 0;
    PngImageFormat format_;
    PngColours colours_;
    PngImageDecoder frameDecoder_;
    bool plain_ = false;
    ComPtr<IWICBitmapDecoder> decoder_;
    UINT plainCount_ = 0;
};

} // namespace

FrameSource* CreatePngFrameSource() { return new (std::nothrow) PngFrameSource(); }

} // namespace Quivane
