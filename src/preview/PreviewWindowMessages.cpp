// The preview window's procedure: each message goes to the concern it
// belongs to (painting, input, timers and loads, commands); the state
// message is answered from what the window shows.
#include "PreviewWindow.h"

#include "PreviewStateAnswer.h"
#include "PreviewStateMessage.h"
#include "platform/ComAdopt.h"
#include "presentation/Theme.h"

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

// Sent to a child whose parent moved to a display of another scale.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

} // namespace

LRESULT CALLBACK PreviewWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    IUnknown* owner = self != nullptr ? self->owner.TryAddRef() : nullptr;
    if (owner == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    // The owner may be released by a host call made from inside this message.
    ComPtr<IUnknown> keepAlive;
    AdoptReference(keepAlive, owner);
    try {
        return self->HandleMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0; // out of memory inside a message: the message is dropped, the host goes on
    }
}

LRESULT PreviewWindow::HandleMessage(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        if (OwnsWindow() && self == window) ForgetDestroyedWindow();
        return DefWindowProcW(self, message, wParam, lParam);
    }
    if (message == PreviewStateMessage() && message != 0) {
        return AnswerPreviewState(wParam, presenter.get(), loader.AnyRunning(), loadFailure, player);
    }
    LRESULT result = 0;
    if (OnPaintMessage(message, wParam, result) || OnInputMessage(message, wParam, lParam, result) ||
        OnTimerMessage(message) || OnCommandMessage(message, wParam, lParam)) {
        return result;
    }
    return DefWindowProcW(self, message, wParam, lParam);
}

bool PreviewWindow::OnPaintMessage(UINT message, WPARAM wParam, LRESULT& result) {
    switch (message) {
    case WM_ERASEBKGND:
        result = 1; // every paint fills the whole window
        return true;
    case WM_PAINT:
        if (presenter) presenter->TakeMadeTarget();
        if (!presenter || presenter->AwaitingTarget()) {
            FallbackPaint(); // the background until Direct2D can draw
        } else {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            presenter->Render();
            EndPaint(window, &paint);
        }
        return true;
    case WM_PRINTCLIENT:
        // Hosts and tools that capture the window get the picture the screen
        // shows. A DC that cannot be drawn on is left as it was.
        if (presenter) static_cast<void>(presenter->RenderToDC(reinterpret_cast<HDC>(wParam), ClientArea()));
        return true;
    case WM_SIZE:
    case kDpiChangedAfterParent: // the bar, the indicator and the text follow the new scale
        if (!presenter) return false;
        presenter->Resize(ClientArea());
        Redraw();
        return true;
    case WM_SETTINGCHANGE: // the theme or the system's fonts changed: the same picture in the new ones
    case WM_THEMECHANGED:
        if (!presenter) return false;
        presenter->FollowSystemSettings();
        Redraw();
        return true;
    default: return false;
    }
}

void PreviewWindow::FallbackPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(ChooseBackgroundColor(look.backgroundSet, look.background));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    EndPaint(window, &paint);
}

bool PreviewWindow::OnTimerMessage(UINT message) {
    if (!presenter) return false;
    if (message == WM_TIMER) {
        OnTimer();
        return true;
    }
    if (message == WM_LOAD_COMPLETE) {
        PollLoadResult();
        return true;
    }
    return false;
}

bool PreviewWindow::OnCommandMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_FRAME_EXPORTED) {
        OnFrameExported();
        return true;
    }
    if (message != WM_COMMAND || lParam != 0 || !presenter) return false;
    const UINT command = LOWORD(wParam);
    if (IsViewCommand(command)) {
        RunViewCommand(command);
        return true;
    }
    if (command != IDM_SAVE_FRAME && command != IDM_COPY_FRAME) return false;
    ComPtr<IWICBitmapSource> frame;
    std::uint32_t index = 0;
    if (SUCCEEDED(presenter->GetCurrentFrame(&frame, &index)) && frame) {
        RunFrameCommand(command, frame.Get(), index);
    } else {
        MessageBeep(MB_ICONWARNING); // nothing on screen to save or copy
    }
    return true;
}

} // namespace Quivane
