// The view the user chose, in the preview window: its keys and menu items
// change the presenter's options, which are remembered for the next window.
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
    Redraw();
}

void PreviewWindow::ChangeView(const ViewOptions& changed) {
    const ViewOptions before = presenter->Options();
    presenter->SetViewOptions(changed);
    player.SetSpeed(changed.SpeedPercent(), GetTickCount64());
    // A choice the registry will not take still holds for this window; only
    // the next one starts without it.
    static_cast<void>(RememberViewOptionChanges(before, changed));
}

} // namespace Quivane
