#pragma once
// The frame store every renderer shares: decoded frames with their delays,
// the current frame and the one a thumbnail shows.
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
    [[nodiscard]] virtual HRESULT DecodeStream(IStream* stream) = 0;

protected:
    void ClearFrames();
    // After a successful decode: the middle frame for thumbnails.
    void FinishLoad();
    void AppendFrame(Microsoft::WRL::ComPtr<IWICBitmapSource> bitmap, std::uint32_t delayMs);
    void ReserveFrames(std::size_t count) { frames.reserve(count); }

private:
    std::vector<AnimatedFrame> frames;
    std::uint32_t currentFrame = 0;
    std::uint32_t thumbnailFrameIndex = 0;
};

} // namespace Quivane
