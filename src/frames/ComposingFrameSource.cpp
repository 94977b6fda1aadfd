#include "ComposingFrameSource.h"

#include "imaging/AreaScale.h"
#include "imaging/CanvasSize.h"
#include "platform/HResult.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Quivane {

void ComposingFrameSource::StartComposition(std::uint32_t width, std::uint32_t height) {
    width_ = width;
    height_ = height;
    canvas_.reset();
    next_ = 0;
    firstFrameDrawn_ = false;
    canvasBehind_ = false;
}

HRESULT ComposingFrameSource::MakeCanvas() {
    if (canvas_) return S_OK;
    RETURN_IF_FAILED(CheckCanvasSize(width_, height_)); // a still picture's is checked only now
    try {
        canvas_ = NewCanvas(width_, height_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The canvas transparent, ready for frame `from`: the first frame, or one
// that needs nothing before it.
HRESULT ComposingFrameSource::StartOver(std::uint32_t from, std::uint32_t target) {
    if (canvas_) {
        canvas_->Clear();
    } else {
        RETURN_IF_FAILED(MakeCanvas());
    }
    next_ = from;
    firstFrameDrawn_ = false;
    canvasBehind_ = false;
    StartingOver(from, target);
    return S_OK;
}

HRESULT ComposingFrameSource::DrawFirstFrameAhead() {
    RETURN_IF_FAILED(StartOver(0, 0));
    const HRESULT drawn = DrawFrame(0, *canvas_);
    if (FAILED(drawn)) {
        canvas_.reset();
        return drawn;
    }
    firstFrameDrawn_ = true;
    return S_OK;
}

// Composes frames up to `index` and hands the canvas to `take` between that
// frame's drawing and its disposal. An earlier frame, or one after a frame
// still ahead that needs none before it, is composed from that frame.
HRESULT ComposingFrameSource::ComposeThrough(std::uint32_t index,
                                             const std::function<HRESULT(const FrameView&)>& take) {
    if (FrameCount() == 0) return E_UNEXPECTED;
    if (index >= FrameCount()) return E_INVALIDARG;
    if (!canvas_ || index < next_) {
        RETURN_IF_FAILED(StartOver(SelfContainedFrameAtOrBefore(index), index));
    } else {
        for (std::uint32_t frame = index; frame > next_; --frame) {
            if (!IsSelfContained(frame)) continue;
            RETURN_IF_FAILED(StartOver(frame, index));
            break;
        }
    }
    for (; next_ <= index; ++next_) {
        if (Stop().ShouldStop()) return Stopped();
        if (next_ < index && PassFrame(next_)) {
            canvasBehind_ = true;
            continue;
        }
        const HRESULT drawn = next_ == 0 && firstFrameDrawn_ ? S_OK : DrawFrame(next_, *canvas_);
        firstFrameDrawn_ = false;
        canvasBehind_ = false;
        if (FAILED(drawn)) {
            canvas_.reset(); // half drawn: the next read starts over
            return drawn;
        }
        const HRESULT taken =
            next_ == index ? take(FrameView{width_, height_, canvas_->Pixels(), FrameDelayMs(next_)}) : S_OK;
        DisposeFrame(next_, *canvas_);
        if (FAILED(taken)) {
            ++next_;
            return taken;
        }
    }
    return S_OK;
}

HRESULT ComposingFrameSource::ReadFrame(std::uint32_t index, FramePixels& frame) {
    if (StreamsRows()) return ReadWholePicture(index, frame);
    return ComposeThrough(index, [&](const FrameView& view) { return CopyFrame(view, frame); });
}

HRESULT ComposingFrameSource::UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) {
    return ComposeThrough(index, use);
}

HRESULT ComposingFrameSource::ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) {
    if (!StreamsRows()) return FrameSource::ScaleFrame(index, choose);
    if (index != 0) return E_INVALIDARG;
    ScaledFrameTarget target;
    RETURN_IF_FAILED(choose(width_, height_, FrameDelayMs(0), target));
    AreaRowScaler scaler;
    if (!scaler.Begin(width_, height_, target.pixels, target.width, target.height, target.stride)) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(DecodePictureRows(
        [&](std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
            scaler.AddRow(row, left, bgra, count);
        }));
    scaler.Finish();
    return S_OK;
}

// The one picture at full size, decoded straight into `frame`: held once, never as a canvas and a copy.
HRESULT ComposingFrameSource::ReadWholePicture(std::uint32_t index, FramePixels& frame) {
    if (index != 0) return E_INVALIDARG;
    RETURN_IF_FAILED(CheckCanvasSize(width_, height_));
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    try {
        frame.pixels.assign(stride * height_, 0);
    } catch (const std::bad_alloc&) {
        frame.pixels = {};
        return E_OUTOFMEMORY;
    }
    frame.width = width_;
    frame.height = height_;
    frame.delayMs = FrameDelayMs(0);
    return DecodePictureRows([&](std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
        std::memcpy(frame.pixels.data() + stride * row + static_cast<std::size_t>(left) * 4, bgra,
                    static_cast<std::size_t>(count) * 4);
    });
}

HRESULT ComposingFrameSource::SaveCheckpoint(FrameCheckpoint& checkpoint) const {
    if (!canvas_ || firstFrameDrawn_ || canvasBehind_) return E_UNEXPECTED; // not between two frames
    try {
        checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    checkpoint.nextFrame = next_;
    return S_OK;
}

HRESULT ComposingFrameSource::ResumeFrom(const FrameCheckpoint& checkpoint) {
    if (checkpoint.nextFrame >= FrameCount()) return E_INVALIDARG;
    RETURN_IF_FAILED(MakeCanvas());
    if (!canvas_->Restore(checkpoint.canvas)) {
        canvas_.reset(); // the next read starts over
        return E_INVALIDARG;
    }
    next_ = checkpoint.nextFrame;
    firstFrameDrawn_ = false;
    canvasBehind_ = false;
    StartingOver(next_, next_);
    return S_OK;
}

std::uint32_t ComposingFrameSource::SelfContainedFrameAtOrBefore(std::uint32_t index) const {
    if (FrameCount() <= 1) return 0;
    for (std::uint32_t frame = std::min<std::uint32_t>(index, FrameCount() - 1); frame > 0; --frame) {
        if (IsSelfContained(frame)) return frame;
    }
    return 0;
}

HRESULT ComposingFrameSource::ResumeAtSelfContainedFrame(std::uint32_t index) {
    if (index == 0 || index >= FrameCount() || !IsSelfContained(index)) return E_INVALIDARG;
    return StartOver(index, index);
}

} // namespace Quivane
