// The view the user chose, in the preview window: its keys and menu items
// change the presenter's options, which are remembered for the next window,
// and the state message reports them.
#include "PreviewStateMessage.h"
#include "PreviewWindow.h"
#include "ViewOptionsSetting.h"

namespace Quivane {

void PreviewWindow::RunViewKey(WPARAM key) {
    ViewOptions changed = presenter->Options();
    if (ApplyViewKey(key, changed)) ChangeView(changed);
}

void PreviewWindow::RunViewCommand(UINT command) {
    ViewOptions changed = presenter->Options();
    if (!ApplyViewCommand(command, changed)) return;
    ChangeView(changed);
    Draw();
    if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

void PreviewWindow::ChangeView(const ViewOptions& changed) {
    const ViewOptions before = presenter->Options();
    presenter->SetViewOptions(changed);
    // A choice the registry will not take still holds for this window; only
    // the next one starts without it.
    static_cast<void>(RememberViewOptionChanges(before, changed));
}

LRESULT PreviewWindow::AnswerViewQuestion(WPARAM question) const {
    if (!presenter) return -1;
    const ViewOptions& options = presenter->Options();
    switch (question) {
    case kPreviewStateInfoLine: return options.infoLine ? 1 : 0;
    case kPreviewStateSpeedPercent: return static_cast<LRESULT>(options.SpeedPercent());
    case kPreviewStateCheckerboard: return options.checkerboard ? 1 : 0;
    case kPreviewStatePixelExact: return options.pixelExact ? 1 : 0;
    default: return -1;
    }
}

} // namespace Quivane
