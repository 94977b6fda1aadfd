// WebP files, demuxed and decoded by libwebp: an animation's frames composed
// in order on one canvas, or a still picture's one image.
#include "WebPFrameSource.h"

#include "WebPAnimation.h"
#include "WebPCanvas.h"
#include "WebPFormat.h"
#include "frames/ComposingFrameSource.h"
#include "imaging/CanvasSize.h"
#include "platform/HResult.h"

#include <memory>
#include <new>

namespace Quivane {
namespace {

class WebPFrameSource final : public ComposingFrameSourceOn<WebPCanvas> {
public:
    explicit WebPFrameSource(const StopToken& stop) : ComposingFrameSourceOn(stop) {}

    HRESULT Open(IStream* stream) override { return OpenFromWholeStream(*this, stream); }

    HRESULT OpenBytes(const FileBytes& file) override {
        if (!file) return E_POINTER;
        file_ = file;
        StartComposition(0, 0);
        if (Stop().ShouldStop()) return Stopped();
        if (!IsWebPSignature(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
        if (!animation_.Parse(file_->data(), file_->size())) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        StartComposition(animation_.CanvasWidth(), animation_.CanvasHeight());
        return CheckCanvasSize(animation_.CanvasWidth(), animation_.CanvasHeight());
    }

    std::uint32_t FrameCount() const override { return static_cast<std::uint32_t>(animation_.Frames().size()); }

private:
    std::uint32_t FrameDelayMs(std::uint32_t index) const override { return animation_.Frames()[index].delayMs; }

    bool IsSelfContained(std::uint32_t index) const override { return animation_.Frames()[index].keyFrame; }

    void Dispose(std::uint32_t index, WebPCanvas& canvas) override { canvas.Dispose(animation_.Frames()[index]); }

    HRESULT Draw(std::uint32_t index, WebPCanvas& canvas) override {
        const WebPFrameInfo& info = animation_.Frames()[index];
        WebPDrawResult drawn = WebPDrawResult::Undecodable;
        try {
            drawn = canvas.Draw(info, [this] { return Stop().ShouldStop(); });
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        switch (drawn) {
        case WebPDrawResult::Drawn: return S_OK;
        case WebPDrawResult::Stopped: return Stopped();
        default: RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
        }
    }

    FileBytes file_; // the frames' bitstreams point into these
    WebPAnimation animation_;
};

} // namespace

FrameSource* CreateWebPFrameSource(const StopToken& stop) { return new (std::nothrow) WebPFrameSource(stop); }

} // namespace Quivane
