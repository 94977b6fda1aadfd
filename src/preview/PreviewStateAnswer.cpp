#include "PreviewStateAnswer.h"

#include "PreviewStateMessage.h"
#include "presentation/VideoPosition.h"

namespace Quivane {

namespace {

LRESULT AnswerView(WPARAM question, const ViewOptions& options) {
    switch (question) {
    case kPreviewStateInfoLine: return options.infoLine ? 1 : 0;
    case kPreviewStateSpeedPercent: return static_cast<LRESULT>(options.SpeedPercent());
    case kPreviewStateCheckerboard: return options.checkerboard ? 1 : 0;
    case kPreviewStatePixelExact: return options.pixelExact ? 1 : 0;
    case kPreviewStateAutoPlay: return options.autoPlayVideos ? 1 : 0;
    default: return -1;
    }
}

LRESULT AnswerTimeline(WPARAM question, const PreviewPresenter& presenter) {
    if (!presenter.Media() || !presenter.HasTimeline()) return -1;
    const std::uint64_t duration = presenter.Media()->Duration();
    if (question == kPreviewStateDuration) return static_cast<LRESULT>(duration);
    if (question == kPreviewStateVideoPosition) return static_cast<LRESULT>(presenter.VideoPosition());
    return static_cast<LRESULT>(PositionAtFraction(presenter.Bar().Fraction(), duration));
}

LRESULT AnswerFrames(WPARAM question, const PreviewPresenter& presenter) {
    if (!presenter.Media() || presenter.ShownFrame() == PreviewPresenter::kNoFrame) return -1;
    return question == kPreviewStateShownFrame ? static_cast<LRESULT>(presenter.ShownFrame())
                                               : static_cast<LRESULT>(presenter.Media()->FrameCount());
}

} // namespace

LRESULT AnswerPreviewState(WPARAM question, const PreviewPresenter* presenter, bool decoding, HRESULT loadFailure,
                           const VideoPlayer& player) {
    switch (question) {
    case kPreviewStatePlaying: return player.Playing() ? 1 : 0;
    case kPreviewStateFramesShown: return static_cast<LRESULT>(player.Playout().FramesShown());
    case kPreviewStateFramesDropped: return static_cast<LRESULT>(player.Playout().FramesDropped());
    case kPreviewStateLargestLag: return static_cast<LRESULT>(player.Playout().LargestLag());
    case kPreviewStateLoadResult: return static_cast<LRESULT>(loadFailure);
    case kPreviewStateDecoding: return decoding ? 1 : 0;
    case kPreviewStatePaused: return presenter && presenter->Playback().paused ? 1 : 0;
    case kPreviewStateSeeking: return presenter && presenter->IsSeeking() ? 1 : 0;
    case kPreviewStateInfoLine:
    case kPreviewStateSpeedPercent:
    case kPreviewStateCheckerboard:
    case kPreviewStatePixelExact:
    case kPreviewStateAutoPlay: return presenter ? AnswerView(question, presenter->Options()) : -1;
    case kPreviewStateVideoPosition:
    case kPreviewStateDuration:
    case kPreviewStateThumbPosition: return presenter ? AnswerTimeline(question, *presenter) : -1;
    case kPreviewStateShownFrame:
    case kPreviewStateFrameCount: return presenter ? AnswerFrames(question, *presenter) : -1;
    default:
        // Nothing is shown before Direct2D can draw.
        return presenter && (presenter->IsLoading() || presenter->AwaitingTarget()) ? kPreviewStateLoading
                                                                                   : kPreviewStateShowing;
    }
}

} // namespace Quivane
