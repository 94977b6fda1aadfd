// GIF frames composed in order on one canvas. The file is walked once when
// it opens; an image is decoded only when a frame that shows it is asked for.
#include "GifFrameSource.h"

#include "imaging/AreaScale.h"
#include "frames/FrameSource.h"
#include "GifComposition.h"
#include "GifControlBlocks.h"
#include "GifImageDecoder.h"
#include "GifIndexCanvas.h"
#include "platform/HResult.h"
#include "imaging/CanvasSize.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace Quivane {
namespace {

// Past this size the canvas of indices, and the canvas of colours made from
// it, side by side would cost more memory than the time they save is worth.
constexpr std::uint64_t kMostIndexedPixels = 64u << 20;

class GifFrameSource final : public FrameSource {
public:
    explicit GifFrameSource(const StopToken& stop) : FrameSource(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        frameCount_ = 0;
        layout_ = ReadGifLayout(file_->data(), file_->size());
        if (!layout_.valid) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        // A file cut short shows the images it holds whole, as browsers do.
        for (const GifImageLayout& image : layout_.images) frameCount_ += image.dataComplete ? 1 : 0;
        if (frameCount_ == 0) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        selfContained_.assign(frameCount_, false);
        width_ = layout_.screenWidth;
        height_ = layout_.screenHeight;
        if (width_ == 0 || height_ == 0) {
            // No usable screen: the first image sets the canvas.
            width_ = layout_.images[0].width;
            height_ = layout_.images[0].height;
        }
        // One image needs only its rows in memory; an animation, or an
        // interlaced image (its rows come in passes), its whole canvas.
        RETURN_IF_FAILED(StreamsRows() ? CheckRowSize(width_) : CheckCanvasSize(width_, height_));
        // Nothing to show is damage, not a transparent picture: Explorer then
        // shows the file type's icon rather than an empty square.
        if (!AnyImageGivesARow()) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        return S_OK;
    }

    std::uint32_t FrameCount() const override { return frameCount_; }

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
        ScaledFrameTarget target;
        RETURN_IF_FAILED(choose(width_, height_, PlaceFrame(0).delayMs, target));
        AreaRowScaler scaler;
        if (!scaler.Begin(width_, height_, target.pixels, target.width, target.height, target.stride)) return E_OUTOFMEMORY;
        RETURN_IF_FAILED(DecodePlainRows(
            [&](std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
                scaler.AddRow(row, left, bgra, count);
            }));
        scaler.Finish();
        return S_OK;
    }

    bool ReadsAnyFrameDirectly() const override { return false; }

    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override {
        if (!canvas_) return E_UNEXPECTED;
        checkpoint.nextFrame = next_;
        checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
        return S_OK;
    }

    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override {
        if (frameCount_ == 0) return E_UNEXPECTED;
        if (checkpoint.nextFrame >= frameCount_) return E_INVALIDARG;
        if (!canvas_) canvas_.reset(new GifCanvas(width_, height_));
        if (!canvas_->Restore(checkpoint.canvas)) return E_INVALIDARG;
        indices_.reset();
        next_ = checkpoint.nextFrame;
        return S_OK;
    }

    std::uint32_t SelfContainedFrameAtOrBefore(std::uint32_t index) const override {
        if (frameCount_ == 0) return 0;
        for (std::uint32_t frame = std::min<std::uint32_t>(index, frameCount_ - 1); frame > 0; --frame) {
            if (selfContained_[frame]) return frame;
        }
        return 0;
    }

    HRESULT ResumeAtSelfContainedFrame(std::uint32_t index) override {
        if (index >= frameCount_ || !selfContained_[index]) return E_INVALIDARG;
        // Whatever the canvas holds, the frame covers it.
        if (!canvas_) canvas_.reset(new GifCanvas(width_, height_));
        indices_.reset();
        next_ = index;
        return S_OK;
    }

private:
    // One image whose rows come in order: drawn on nothing but transparency,
    // its rows are the canvas's, so it is scaled or copied as it is decoded.
    bool StreamsRows() const { return frameCount_ == 1 && !layout_.images[0].interlaced; }

    // The canvas rows the image covers, top to bottom: `count` pixels from
    // column `left` on, the rest of each row (and every other row) transparent.
    // Whatever the data fails to reach stays transparent, as when composed.
    HRESULT DecodePlainRows(
        const std::function<void(std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count)>&
            take) {
        const GifImageLayout& image = layout_.images[0];
        const GifFrameInfo info = PlaceFrame(0);
        if (info.width == 0 || info.height == 0) return S_OK;
        const GifColours colours = ReadGifColours(file_->data(), file_->size(), image);
        rowPixels_.resize(static_cast<std::size_t>(info.width) * 4);
        bool stopped = false;
        (void)imageDecoder_.DecodeRows(file_->data(), file_->size(), image, info.height,
                                       [&](std::uint32_t row, const std::uint8_t* indices) {
                                           if (Stop().ShouldStop()) {
                                               stopped = true;
                                               imageDecoder_.StopAfterThisRow();
                                               return;
                                           }
                                           std::uint8_t* out = rowPixels_.data();
                                           for (std::uint32_t x = 0; x < info.width; ++x) {
                                               std::memcpy(out + static_cast<std::size_t>(x) * 4, &colours[indices[x]], 4);
                                           }
                                           take(info.top + row, info.left, out, info.width);
                                       });
        return stopped ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
    }

    // The one image at full size, decoded straight into `frame`: held once, never as a canvas and a copy.
    HRESULT ReadWholePicture(std::uint32_t index, FramePixels& frame) {
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
        frame.delayMs = PlaceFrame(0).delayMs;
        return DecodePlainRows([&](std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
            std::memcpy(frame.pixels.data() + stride * row + static_cast<std::size_t>(left) * 4, bgra,
                        static_cast<std::size_t>(count) * 4);
        });
    }

    // Composes frames up to `index` and hands the canvas to `take` between
    // that frame's drawing and its disposal. Frames before it are composed as
    // indices while the canvas can tell their colour tables apart.
    HRESULT ComposeThrough(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& take) {
        if (frameCount_ == 0) return E_UNEXPECTED;
        if (index >= frameCount_) return E_INVALIDARG;
        if ((!canvas_ && !indices_) || index < next_) {
            canvas_.reset();
            indices_.reset();
            next_ = 0;
            RETURN_IF_FAILED(CheckCanvasSize(width_, height_)); // a still picture's is checked only now
            if (index > 0 && std::uint64_t{width_} * height_ <= kMostIndexedPixels) {
                indices_.reset(new GifIndexCanvas(width_, height_));
            }
        }
        for (; next_ <= index; ++next_) {
            if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            if (indices_ && next_ < index && ComposeIndices(next_)) continue;
            if (!canvas_) TurnIndicesIntoColours();
            GifFrameInfo info;
            ComposeFrame(next_, info);
            const HRESULT taken = next_ == index ? take(FrameView{width_, height_, canvas_->Pixels(), info.delayMs}) : S_OK;
            canvas_->Dispose(info);
            if (FAILED(taken)) {
                ++next_;
                return taken;
            }
        }
        return S_OK;
    }

    // Whether some image of the file has colours and data for at least one
    // whole row. Usually the first image answers with its first row.
    bool AnyImageGivesARow() {
        for (std::uint32_t index = 0; index < frameCount_; ++index) {
            const GifImageLayout& image = layout_.images[index];
            std::uint32_t entries = 0;
            if (FindGifColourTable(file_->data(), file_->size(), image, entries) == nullptr) continue;
            if (imageDecoder_.DecodesARow(file_->data(), file_->size(), image)) return true;
        }
        return false;
    }

    // Image `index`'s part on the canvas, its delay and its disposal.
    GifFrameInfo PlaceFrame(std::uint32_t index) const {
        const GifImageLayout& image = layout_.images[index];
        GifFrameInfo info;
        info.left = image.left;
        info.top = image.top;
        info.width = image.width;
        info.height = image.height;
        if (image.control.present) {
            info.disposal = image.control.disposal;
            info.delayMs = GifDelayMs(image.control.delayHundredths);
        }
        // Only the part on the canvas is ever decoded, however large the image claims to be.
        const CanvasRegion region = ClipToCanvas(width_, height_, info);
        info.width = region.columns;
        info.height = region.rows;
        return info;
    }

    // Draws image `index` on the canvas; `info` describes its part on the
    // canvas. One pass from the data to the canvas: whatever the data fails
    // to reach stays as it was, as transparent pixels leave it.
    void ComposeFrame(std::uint32_t index, GifFrameInfo& info) {
        const GifImageLayout& image = layout_.images[index];
        info = PlaceFrame(index);
        canvas_->BeginFrame(info);
        bool everyPixelOpaque = false;
        if (info.width > 0 && info.height > 0) {
            (void)imageDecoder_.DrawOver(file_->data(), file_->size(), image,
                                         ReadGifColours(file_->data(), file_->size(), image), info.width, info.height,
                                         canvas_->MutablePixels() + info.top * canvas_->Stride() + info.left * 4,
                                         canvas_->Stride(), everyPixelOpaque);
        }
        selfContained_[index] = CoversCanvasOpaquely(info, everyPixelOpaque);
    }

    // Whether the frame just drawn leaves nothing of the canvas before it:
    // every pixel of the canvas drawn opaque, and not put back afterwards.
    bool CoversCanvasOpaquely(const GifFrameInfo& info, bool everyPixelOpaque) const {
        if (info.left != 0 || info.top != 0 || info.width != width_ || info.height != height_) return false;
        return info.disposal != kGifDisposeToPrevious && everyPixelOpaque;
    }

    // Draws and disposes image `index` on the canvas of indices; false, with
    // nothing drawn, when that canvas cannot take its colour table.
    bool ComposeIndices(std::uint32_t index) {
        const GifImageLayout& image = layout_.images[index];
        const GifFrameInfo info = PlaceFrame(index);
        std::uint32_t entries = 0;
        const std::uint8_t* table = FindGifColourTable(file_->data(), file_->size(), image, entries);
        if (!indices_->BeginFrame(info, table, entries, image.control.transparentIndex)) return false;
        if (info.height > 0) {
            (void)imageDecoder_.DecodeRows(file_->data(), file_->size(), image, info.height,
                                           [&](std::uint32_t row, const std::uint8_t* line) { indices_->DrawRow(row, line); });
        }
        indices_->Dispose(info);
        return true;
    }

    // The canvas of colours the next frame is drawn on: from the canvas of indices when there is one.
    void TurnIndicesIntoColours() {
        canvas_.reset(new GifCanvas(width_, height_));
        if (indices_) indices_->WriteColours(canvas_->MutablePixels());
        indices_.reset();
    }

    FileBytes file_;
    GifLayout layout_;
    GifImageDecoder imageDecoder_;
    std::uint32_t frameCount_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<GifCanvas> canvas_;
    std::unique_ptr<GifIndexCanvas> indices_; // before the first frame shown since a restart
    std::uint32_t next_ = 0; // the frame the canvas is ready to receive
    std::vector<bool> selfContained_; // [k]: frame k was composed and needs no frame before it
    std::vector<std::uint8_t> rowPixels_; // one image row in colours, for a picture that streams its rows
};

} // namespace

FrameSource* CreateGifFrameSource(const StopToken& stop) { return new (std::nothrow) GifFrameSource(stop); }

} // namespace Quivane
