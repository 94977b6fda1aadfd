#pragma once
// The answers to the state message (PreviewStateMessage.h), read from what
// the preview shows: its presenter (null before it has one), whether a load
// still works, and the last load's failure.
#include "presentation/PreviewPresenter.h"

#include <windows.h>

namespace Quivane {

LRESULT AnswerPreviewState(WPARAM question, const PreviewPresenter* presenter, bool decoding, HRESULT loadFailure);

} // namespace Quivane
