// GIF frames composed in order on one canvas. The file is walked once when
// it opens; an image is decoded only when a frame that shows it is asked for.
#include "GifFrameSource.h"

#include "frames/ComposingFrameSource.h"
#include "GifCanvas.h"
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

class GifFrameSource final : public ComposingFrameSourceOn<GifCanvas> {
public:
    explicit GifFrameSource(const StopToken& stop) : ComposingFrameSourceOn(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        frameCount_ = 0;
        indices_.reset();
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
        StartComposition(width_, height_);
        // One image needs only its rows in memory; an animation, or an
        // interlaced image (its rows come in passes), its whole canvas.
        RETURN_IF_FAILED(StreamsRows() ? CheckRowSize(width_) : CheckCanvasSize(width_, height_));
        // Nothing to show is damage, not a transparent picture: Explorer then
        // shows the file type's icon rather than an empty square.
        if (!AnyImageGivesARow()) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        return S_OK;
    }

    std::uint32_t FrameCount() const override { return frameCount_; }

private:
    // One image whose rows come in order: drawn on nothing but transparency,
    // its rows are the canvas's, so it is scaled or copied as it is decoded.
    bool StreamsRows() const override { return frameCount_ == 1 && !layout_.images[0].interlaced; }

    // The canvas rows the image covers, top to bottom: `count` pixels from
    // column `left` on, the rest of each row (and every other row) transparent.
    // Whatever the data fails to reach stays transparent, as when composed.
    HRESULT DecodePictureRows(const PictureRowSink& take) override {
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
        return stopped ? Stopped() : S_OK;
    }

    std::uint32_t FrameDelayMs(std::uint32_t index) const override { return PlaceFrame(index).delayMs; }

    bool IsSelfContained(std::uint32_t index) const override { return selfContained_[index]; }

    // Frames before the one shown are composed as indices while the canvas of
    // indices can tell their colour tables apart.
    void StartingOver(std::uint32_t from, std::uint32_t target) override {
        indices_.reset();
        if (target > from && std::uint64_t{width_} * height_ <= kMostIndexedPixels) {
            indices_.reset(new GifIndexCanvas(width_, height_));
        }
    }

    bool PassFrame(std::uint32_t index) override { return indices_ && ComposeIndices(index); }

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

    // Draws image `index` on the canvas, after the frames passed as indices.
    // One pass from the data to the canvas: whatever the data fails to reach
    // stays as it was, as transparent pixels leave it.
    HRESULT Draw(std::uint32_t index, GifCanvas& canvas) override {
        if (indices_) {
            indices_->WriteColours(canvas.MutablePixels());
            indices_.reset();
        }
        const GifImageLayout& image = layout_.images[index];
        const GifFrameInfo info = PlaceFrame(index);
        canvas.BeginFrame(info);
        bool everyPixelOpaque = false;
        if (info.width > 0 && info.height > 0) {
            (void)imageDecoder_.DrawOver(file_->data(), file_->size(), image,
                                         ReadGifColours(file_->data(), file_->size(), image), info.width, info.height,
                                         canvas.MutablePixels() + info.top * canvas.Stride() + info.left * 4,
                                         canvas.Stride(), everyPixelOpaque);
        }
        selfContained_[index] = CoversCanvasOpaquely(info, everyPixelOpaque);
        return S_OK;
    }

    void Dispose(std::uint32_t index, GifCanvas& canvas) override { canvas.Dispose(PlaceFrame(index)); }

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

    FileBytes file_;
    GifLayout layout_;
    GifImageDecoder imageDecoder_;
    std::uint32_t frameCount_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::unique_ptr<GifIndexCanvas> indices_; // frames passed since a restart, before one is drawn
    std::vector<bool> selfContained_; // [k]: frame k was composed and needs no frame before it
    std::vector<std::uint8_t> rowPixels_; // one image row in colours, for a picture that streams its rows
};

} // namespace

FrameSource* CreateGifFrameSource(const StopToken& stop) { return new (std::nothrow) GifFrameSource(stop); }

} // namespace Quivane
