// The preview window's input: the command keys (every other key goes to the
// host), the seek bar under the mouse, the wheel and the context menu.
#include "PreviewWindow.h"

#include "platform/OwnedHandles.h"

#include <windowsx.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr WPARAM kKeyR = 0x52;

bool IsCommandKey(WPARAM key) {
    switch (key) {
    case VK_SPACE:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_RIGHT:
    case kKeyR: return true;
    default: return IsViewKey(key);
    }
}

bool Held(int key) { return GetKeyState(key) < 0; }

// Asked with the pending key, the window wants the keys it acts on only:
// Tab and the rest stay with the dialog or host around it.
LRESULT DialogCode(LPARAM lParam) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending == nullptr) return DLGC_WANTARROWS;
    if (pending->message == WM_KEYDOWN || pending->message == WM_SYSKEYDOWN) {
        return PreviewWindow::ActsOnKey(*pending) ? DLGC_WANTALLKEYS : 0;
    }
    return DLGC_WANTARROWS;
}

} // namespace

bool PreviewWindow::ActsOnKey(const MSG& key) {
    // WM_SYSKEYDOWN comes with Alt held (or for F10): the host's shortcuts.
    if (key.message != WM_KEYDOWN || Held(VK_CONTROL) || Held(VK_MENU)) return false;
    return IsCommandKey(key.wParam);
}

bool PreviewWindow::RunCommandKey(const MSG& key) {
    if (!ActsOnKey(key) || !RunKeyCommand(key.wParam)) return false;
    Redraw();
    return true;
}

bool PreviewWindow::OnKey(const MSG& key) {
    if (ActsOnKey(key)) return RunCommandKey(key);
    return owner.OfferKeyToHost(key) == S_OK; // else the default procedure has it
}

bool PreviewWindow::OnInputMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (message == WM_MOUSEACTIVATE) {
        FocusWindow();
        result = MA_ACTIVATE;
        return true;
    }
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        const DWORD at = GetMessagePos();
        const MSG key = {window, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()),
                         {GET_X_LPARAM(at), GET_Y_LPARAM(at)}};
        return OnKey(key);
    }
    if (message == WM_LBUTTONDOWN) FocusWindow();
    if (!presenter) return false;
    switch (message) {
    case WM_GETDLGCODE: result = DialogCode(lParam); return true;
    case WM_CONTEXTMENU: OnContextMenu(lParam); return true;
    case WM_MOUSEWHEEL: OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return true;
    case WM_MOUSEMOVE:
        presenter->SeekBarDrag(GET_X_LPARAM(lParam));
        if (presenter->IsSeeking()) Redraw();
        return true;
    case WM_LBUTTONDOWN:
        SetCapture(window);
        presenter->SeekBarPress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        Redraw();
        return true;
    case WM_LBUTTONUP: {
        ReleaseCapture();
        std::uint64_t position = 0;
        if (presenter && presenter->SeekBarRelease(&position)) {
            StartPositionedLoad(position);
        } else {
            Redraw();
        }
        return true;
    }
    default: return false;
    }
}

void PreviewWindow::FocusWindow() {
    if (window != nullptr && IsWindow(window)) ::SetFocus(window);
}

void PreviewWindow::OnMouseWheel(short delta) {
    if (presenter->HasTimeline()) {
        if (delta > 0) {
            StartPositionedLoad(presenter->StepVideoPosition(-1));
        } else if (delta < 0) {
            StartPositionedLoad(presenter->StepVideoPosition(+1));
        }
        return;
    }
    presenter->StepFrameByWheel(delta);
    Redraw();
}

bool PreviewWindow::RunKeyCommand(WPARAM key) {
    if (!presenter || !IsCommandKey(key)) return false;
    if (IsViewKey(key)) {
        RunViewKey(key);
        return true;
    }
    if (presenter->HasTimeline()) {
        switch (key) {
        case VK_END: StartPositionedLoad(presenter->GetEndSeekPosition()); break;
        case VK_HOME: StartPositionedLoad(0); break;
        case VK_LEFT: StartPositionedLoad(presenter->StepVideoPosition(-1)); break;
        case VK_RIGHT: StartPositionedLoad(presenter->StepVideoPosition(+1)); break;
        case kKeyR: Reload(false); break;
        default: ToggleVideoPlay(); break; // Space
        }
        return true;
    }
    switch (key) {
    case VK_SPACE: presenter->TogglePause(); break;
    case VK_END: presenter->GoToLastFrame(); break;
    case VK_HOME: presenter->GoToFirstFrame(); break;
    case VK_LEFT: presenter->PreviousFrame(); break;
    case VK_RIGHT: presenter->NextFrame(); break;
    case kKeyR: Reload(true); break;
    default: break;
    }
    return true;
}

void PreviewWindow::OnContextMenu(LPARAM lParam) {
    FocusWindow();
    // Without a frame on screen (loading, a failed file) the view's items are still offered.
    ComPtr<IWICBitmapSource> frame;
    std::uint32_t index = 0;
    if (FAILED(presenter->GetCurrentFrame(&frame, &index))) frame.Reset();

    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (at.x == -1 && at.y == -1) { // asked for from the keyboard: the centre of the preview
        const RECT client = ClientArea();
        at = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
        ClientToScreen(window, &at);
    }
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    // One save or copy at a time: while one runs, the commands wait greyed.
    const UINT state = exports.Busy() || !frame ? MF_GRAYED : MF_ENABLED;
    AppendMenuW(menu.Get(), MF_STRING | state, IDM_SAVE_FRAME, L"Save current frame as...");
    AppendMenuW(menu.Get(), MF_STRING | state, IDM_COPY_FRAME, L"Copy current frame");
    AppendViewItems(menu.Get(), presenter->Options());
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
    menu.Reset();
    // The menu's loop serves messages: the presenter may have gone meanwhile.
    if (IsViewCommand(command)) {
        if (presenter) RunViewCommand(command);
        return;
    }
    if (frame) RunFrameCommand(command, frame.Get(), index);
}

} // namespace Quivane
