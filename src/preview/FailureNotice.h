#pragma once
// A load that left nothing to show, told to people: in the pane's picture
// and as the preview window's text, which screen readers announce.
#include "frames/MediaFacts.h"
#include "presentation/PreviewPresenter.h"

#include <windows.h>

namespace Quivane {

// Shows why `failure` left the pane empty; a superseded load is no failure
// and changes nothing. `ownWindow` is the preview's own window (null when
// drawing into the host's, whose text is not ours to change).
void TellLoadFailure(PreviewPresenter& presenter, HWND ownWindow, HRESULT failure, const MediaFacts& facts);
// A load succeeded: no message, and the window's text empty again.
void ClearLoadFailure(PreviewPresenter& presenter, HWND ownWindow);

} // namespace Quivane
