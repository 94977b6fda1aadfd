// Playback through the presenter, where it meets the media and the
// drawing: the frame a copy of the picture takes, and the timer while loading.
// Playback on its own is checked natively (frame_playback_test).
#include "TestSupport.h"
#include "presentation/PreviewPresenter.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr std::uint64_t kSecond = 10'000'000;

// Frames with these delays, in the store the preview shows from.
std::unique_ptr<DecodedMedia> FramesWithDelays(const std::vector<std::uint32_t>& delays) {
    std::vector<FramePixels> frames = SolidFrames(delays.size());
    for (size_t i = 0; i < frames.size(); ++i) frames[i].delayMs = delays[i];
    return StoreMediaOver(std::move(frames));
}

// A video's still at `position` on its time line.
std::unique_ptr<DecodedMedia> VideoStillAt(std::uint64_t duration, std::uint64_t position) {
    return StoreMediaOver(SolidFrames(1), VideoTimeline{duration, position});
}

// A presenter without a window: playback needs none.
std::unique_ptr<PreviewPresenter> PresenterWith(std::unique_ptr<DecodedMedia> media, int width = 1000,
                                                int height = 600) {
    auto presenter = std::make_unique<PreviewPresenter>();
    presenter->Resize(RECT{0, 0, width, height});
    presenter->SetMedia(std::move(media));
    return presenter;
}

} // namespace

TEST(PresenterPlayback, CurrentFrameFollowsTheDraggedThumb) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>(5, 50)));
    presenter->SeekBarPress(997, 599);
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 99;
    ASSERT_EQ(presenter->GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 4u);
    presenter->Render(); // no window: draws nothing
    EXPECT_EQ(presenter->ShownFrame(), PreviewPresenter::kNoFrame);
}

TEST(PresenterVideo, CurrentFrameIsAlwaysTheStill) {
    auto presenter = PresenterWith(VideoStillAt(10 * kSecond, 3 * kSecond));
    presenter->SetLoading(true, true); // a seek keeps the old still on screen
    ComPtr<IWICBitmapSource> bitmap;
    std::uint32_t index = 7;
    EXPECT_EQ(presenter->GetCurrentFrame(&bitmap, &index), S_OK);
    EXPECT_EQ(index, 0u);
    presenter->SetLoading(true, false); // a first load has nothing to offer
    EXPECT_EQ(presenter->GetCurrentFrame(&bitmap, &index), E_FAIL);
    EXPECT_EQ(presenter->GetCurrentFrame(nullptr, &index), E_POINTER);
    auto empty = PresenterWith(nullptr);
    EXPECT_EQ(empty->GetCurrentFrame(&bitmap, nullptr), E_FAIL);
}

TEST(PresenterTimer, LoadingOnlyRedrawsAndLeavesTheClockAlone) {
    auto presenter = PresenterWith(FramesWithDelays(std::vector<std::uint32_t>{40, 40}));
    presenter->SetLoading(true, false);
    std::uint64_t lastTick = 1234;
    EXPECT_TRUE(presenter->OnTimerTick(9999, lastTick));
    EXPECT_EQ(lastTick, 1234u);
    EXPECT_EQ(presenter->Playback().currentIndex, 0u);
    presenter->SetLoading(false, false);
    lastTick = 10000;
    EXPECT_FALSE(presenter->OnTimerTick(10016, lastTick));
    EXPECT_EQ(lastTick, 10016u);
}
