#pragma once
// The answers to the state message (PreviewStateMessage.h), read from what
// the preview shows: its presenter (null before it has one), whether a load
// still works, the last load's failure, and the video being played.
#include "VideoPlayer.h"
#include "presentation/PreviewPresenter.h"

#include <windows.h>

namespace Quivane {

LRESULT AnswerPreviewState(WPARAM question, const PreviewPresenter* presenter, bool decoding, HRESULT loadFailure,
                           const VideoPlayer& player);

} // namespace Quivane
