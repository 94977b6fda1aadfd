// WebP files, demuxed and decoded by libwebp: an animation's frames composed
// in order on one canvas, or a still picture's one image.
#include "WebPFrameSource.h"

#include "WebPAnimation.h"
#include "WebPComposition.h"
#include "WebPFormat.h"
#include "frames/FrameSource.h"
#include "imaging/CanvasSize.h"
#include "platform/HResult.h"

#include <memory>
#include <new>

namespace Quivane {
namespace {

class WebPFrameSource final : public FrameSource {
public:
    explicit WebPFrameSource(const StopToken& stop) : FrameSource(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        canvas_.reset();
        next_ = 0;
        if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        if (!IsWebPSignature(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
        if (!animation_.Parse(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        return CheckCanvasSize(animation_.CanvasWidth(), animation_.CanvasHeight());
    }

    std::uint32_t FrameCount() const override { return static_cast<std::uint32_t>(animation_.Frames().size()); }

    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        return ComposeThrough(index, [&](const FrameView& view) { return CopyFrame(view, frame); });
    }

    HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) override {
        return ComposeThrough(index, use);
    }

    bool ReadsAnyFrameDirectly() const override { return false; }

    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override {
        if (!canvas_) return E_UNEXPECTED; // no frame composed yet
        try {
            checkpoint.canvas.assign(canvas_->Pixels(), canvas_->Pixels() + canvas_->ByteSize());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        checkpoint.nextFrame = next_;
        return S_OK;
    }

    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override {
        if (checkpoint.nextFrame >= FrameCount()) return E_INVALIDARG;
        RETURN_IF_FAILED(MakeCanvas());
        if (!canvas_->Restore(checkpoint.canvas)) return E_INVALIDARG;
        next_ = checkpoint.nextFrame;
        return S_OK;
    }

private:
    HRESULT MakeCanvas() {
        if (canvas_) return S_OK;
        RETURN_IF_FAILED(CheckCanvasSize(animation_.CanvasWidth(), animation_.CanvasHeight()));
        try {
            canvas_ = std::make_unique<WebPCanvas>(animation_.CanvasWidth(), animation_.CanvasHeight());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // Composes the frames up to `index` and hands the canvas to `take`
    // between that frame's drawing and its disposal.
    HRESULT ComposeThrough(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& take) {
        if (!file_) return E_UNEXPECTED;
        if (index >= FrameCount()) return E_INVALIDARG;
        // An earlier frame, or one after a key frame still ahead: composed
        // from its key frame rather than from where the canvas stands.
        const std::uint32_t key = animation_.KeyFrameAtOrBefore(index);
        if (!canvas_) {
            RETURN_IF_FAILED(MakeCanvas());
            next_ = key;
        } else if (index < next_ || key > next_) {
            canvas_->Clear();
            next_ = key;
        }
        for (; next_ <= index; ++next_) {
            if (Stop().ShouldStop()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            const WebPFrameInfo& info = animation_.Frames()[next_];
            const HRESULT drawn = Draw(info);
            if (FAILED(drawn)) {
                canvas_.reset(); // half drawn: the next read starts over
                return drawn;
            }
            const HRESULT taken = next_ == index ? take(FrameView{canvas_->Width(), canvas_->Height(),
                                                                 canvas_->Pixels(), info.delayMs})
                                                 : S_OK;
            canvas_->Dispose(info);
            if (FAILED(taken)) {
                ++next_;
                return taken;
            }
        }
        return S_OK;
    }

    HRESULT Draw(const WebPFrameInfo& info) {
        WebPDrawResult drawn = WebPDrawResult::Undecodable;
        try {
            drawn = canvas_->Draw(info, [this] { return Stop().ShouldStop(); });
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        switch (drawn) {
        case WebPDrawResult::Drawn: return S_OK;
        case WebPDrawResult::Stopped: return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        default: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        }
    }

    FileBytes file_; // the frames' bitstreams point into these
    WebPAnimation animation_;
    std::unique_ptr<WebPCanvas> canvas_;
    std::uint32_t next_ = 0;
};

} // namespace

FrameSource* CreateWebPFrameSource(const StopToken& stop) { return new (std::nothrow) WebPFrameSource(stop); }

} // namespace Quivane
