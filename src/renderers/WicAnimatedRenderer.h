#pragma once
// The frame store every renderer shares: decoded frames, their Direct2D
// copies for one render target, and fitted drawing of the current frame.
#include "AnimatedFrame.h"
#include "IAnimatedRenderer.h"

#include <vector>

namespace Quivane {

class WicAnimatedRenderer : public IAnimatedRenderer {
public:
    WicAnimatedRenderer() = default;
    ~WicAnimatedRenderer() override;
    WicAnimatedRenderer(const WicAnimatedRenderer&) = delete;
    WicAnimatedRenderer& operator=(const WicAnimatedRenderer&) = delete;

    HRESULT Load(IStream* stream) override;
    void DrawCurrentFrame(ID2D1RenderTarget* target) override;
    void SetViewSize(std::int32_t width, std::int32_t height) override;
    std::uint64_t GetFrameCount() const override;
    std::uint32_t GetCurrentFrameIndex() const override;
    std::uint32_t GetFrameDelay(std::uint32_t index) const override;
    void SetCurrentFrame(std::uint32_t index) override;
    bool IsAnimated() const override;
    std::uint32_t GetThumbnailFrameIndex() const override;
    HRESULT GetFrameBitmap(std::uint32_t index, IWICBitmapSource** out) const override;
    bool IsTimeBased() const override;
    std::uint64_t GetDuration() const override;
    std::uint64_t GetPosition() const override;
    HRESULT LoadAtPosition(IStream* stream, std::uint64_t position) override;

    // Appends the file's frames, in display order, to the emptied store.
    virtual HRESULT DecodeStream(IStream* stream) = 0;

    // How many frames hold a Direct2D copy; lets tests observe the cache.
    std::size_t GetCachedDeviceBitmapCount() const;
    std::size_t GetDeviceBitmapSlotCount() const { return deviceBitmaps.size(); }

protected:
    void ClearFrames();
    // After a successful decode: one device-bitmap slot per frame, the middle frame for thumbnails.
    void FinishLoad();
    HRESULT EnsureDeviceBitmap(ID2D1RenderTarget* target, std::uint32_t index);
    void AppendFrame(Microsoft::WRL::ComPtr<IWICBitmapSource> bitmap, std::uint32_t delayMs);
    void ReserveFrames(std::size_t count) { frames.reserve(count); }

private:
    void ReleaseDeviceBitmaps();

    std::vector<AnimatedFrame> frames;
    std::vector<DeviceFrameBitmap> deviceBitmaps;
    std::uint32_t currentFrame = 0;
    std::int32_t viewWidth = 0;
    std::int32_t viewHeight = 0;
    std::uint32_t thumbnailFrameIndex = 0;
    Microsoft::WRL::ComPtr<ID2D1RenderTarget> deviceTarget;
};

} // namespace Quivane
