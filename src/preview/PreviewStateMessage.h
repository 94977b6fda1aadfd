#pragma once
// A registered window message the preview window answers with what it shows,
// so a host in the same process (the tool, the tests) can wait for the first
// frame without reaching into the handler.
#include <windows.h>

namespace Quivane {

constexpr wchar_t kPreviewStateMessageName[] = L"QuivanePreviewState";
constexpr LRESULT kPreviewStateLoading = 1;
constexpr LRESULT kPreviewStateShowing = 2;
// Asked with this wParam, the window answers the index of the frame on screen
// and, with the next, its frame count; -1 while it has none.
constexpr WPARAM kPreviewStateShownFrame = 1;
constexpr WPARAM kPreviewStateFrameCount = 2;
// Asked with this wParam, it answers the HRESULT of the last load when that
// load failed and left nothing on screen; S_OK otherwise.
constexpr WPARAM kPreviewStateLoadResult = 3;
// Asked with this wParam, it answers 1 while playback is paused, else 0.
constexpr WPARAM kPreviewStatePaused = 4;
// 1 while the seek bar's thumb is held by the mouse, else 0.
constexpr WPARAM kPreviewStateSeeking = 5;
// 1 while a load still works in the background (frames decoded ahead of
// playback, a seek), else 0.
constexpr WPARAM kPreviewStateDecoding = 6;
// A video's position on screen, its duration, and the position the seek
// bar's thumb stands for, in 100-nanosecond units; -1 without a video.
// (A 32-bit host reads positions past about 214 seconds cut short.)
constexpr WPARAM kPreviewStateVideoPosition = 7;
constexpr WPARAM kPreviewStateDuration = 8;
constexpr WPARAM kPreviewStateThumbPosition = 9;
// The view the user chose: 1 while the information line is on, else 0; the
// playback speed in percent; 1 while the checkerboard shows behind
// transparent pixels; 1 while frames are scaled up pixel-exact.
constexpr WPARAM kPreviewStateInfoLine = 10;
constexpr WPARAM kPreviewStateSpeedPercent = 11;
constexpr WPARAM kPreviewStateCheckerboard = 12;
constexpr WPARAM kPreviewStatePixelExact = 13;
// A video: 1 while it plays, else 0; and since playing last started, the
// frames shown, the frames dropped as late, and the most the clock was ahead
// of a frame shown (100-ns units). 1 while videos play as soon as shown.
constexpr WPARAM kPreviewStatePlaying = 14;
constexpr WPARAM kPreviewStateFramesShown = 15;
constexpr WPARAM kPreviewStateFramesDropped = 16;
constexpr WPARAM kPreviewStateLargestLag = 17;
constexpr WPARAM kPreviewStateAutoPlay = 18;

inline UINT PreviewStateMessage() {
    static const UINT message = RegisterWindowMessageW(kPreviewStateMessageName);
    return message;
}

} // namespace Quivane
