// The preview window's procedure: paint, size, the 16 ms timer, the seek bar
// under the mouse, the wheel, the command keys and the context menu.
#include "FrameExport.h"
#include "PreviewHandlerCom.h"
#include "PreviewStateMessage.h"
#include "platform/ComAdopt.h"
#include "presentation/Theme.h"

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
    default: return false;
    }
}

LRESULT DialogCode(LPARAM lParam) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending == nullptr) return DLGC_WANTARROWS;
    if (pending->message == WM_KEYDOWN || pending->message == WM_SYSKEYDOWN) {
        return IsCommandKey(pending->wParam) ? DLGC_WANTALLKEYS : 0;
    }
    return DLGC_WANTARROWS;
}

} // namespace

LRESULT CALLBACK PreviewHandlerCom::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* handler = reinterpret_cast<PreviewHandlerCom*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (handler == nullptr || !handler->TryAddRef()) return DefWindowProcW(hwnd, message, wParam, lParam);
    // The handler may be released by a host call made from inside this message.
    ComPtr<IPreviewHandler> keepAlive;
    AdoptReference(keepAlive, static_cast<IPreviewHandler*>(handler));
    try {
        return handler->HandleMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return 0; // out of memory inside a message: the message is dropped, the host goes on
    }
}

void PreviewHandlerCom::FocusWindow() {
    if (window != nullptr && IsWindow(window)) ::SetFocus(window);
}

void PreviewHandlerCom::Draw() {
    if (presenter) presenter->Render();
}

void PreviewHandlerCom::FallbackPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (window != nullptr && dc != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(ChooseBackgroundColor(backgroundColorSet, backgroundColor));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    EndPaint(window, &paint);
}

LRESULT PreviewHandlerCom::HandleMessage(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: return 1; // every paint fills the whole window
    case WM_NCDESTROY:
        if (ownsWindow && self == window) ForgetDestroyedWindow();
        return DefWindowProcW(self, message, wParam, lParam);
    case WM_MOUSEACTIVATE:
        FocusWindow();
        return MA_ACTIVATE;
    default: break;
    }
    if (message == PreviewStateMessage() && message != 0) return AnswerStateQuestion(wParam);
    if (message == WM_FRAME_EXPORTED) {
        OnFrameExported();
        return 0;
    }
    if (!presenter) {
        if (message == WM_PAINT) {
            FallbackPaint();
            return 0;
        }
        if (message == WM_LBUTTONDOWN) FocusWindow();
        return DefWindowProcW(self, message, wParam, lParam);
    }

    switch (message) {
    case WM_SIZE:
        presenter->Resize(GetPreviewClientRect());
        DrawAndValidate();
        return 0;
    case WM_PAINT: {
        presenter->TakeMadeTarget();
        if (presenter->AwaitingTarget()) {
            FallbackPaint(); // the background until Direct2D can draw
            return 0;
        }
        PAINTSTRUCT paint;
        BeginPaint(self, &paint);
        Draw();
        EndPaint(self, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: {
        // Hosts and tools that capture the window get the picture the screen shows.
        // A DC that cannot be drawn on is left as it was.
        const RECT client = GetPreviewClientRect();
        static_cast<void>(presenter->RenderToDC(reinterpret_cast<HDC>(wParam), client));
        return 0;
    }
    case WM_CONTEXTMENU:
        OnContextMenu(lParam);
        return 0;
    case WM_COMMAND: {
        const UINT command = LOWORD(wParam);
        if (lParam != 0 || (command != IDM_SAVE_FRAME && command != IDM_COPY_FRAME)) {
            return DefWindowProcW(self, message, wParam, lParam);
        }
        ComPtr<IWICBitmapSource> frame;
        std::uint32_t index = 0;
        if (SUCCEEDED(presenter->GetCurrentFrame(&frame, &index)) && frame) {
            RunFrameCommand(command, frame.Get(), index);
        } else {
            MessageBeep(MB_ICONWARNING); // nothing on screen to save or copy
        }
        return 0;
    }
    case WM_GETDLGCODE: return DialogCode(lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!RunKeyCommand(wParam)) return DefWindowProcW(self, message, wParam, lParam);
        Draw();
        InvalidateRect(self, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_MOUSEMOVE:
        presenter->SeekBarDrag(GET_X_LPARAM(lParam));
        if (presenter->IsSeeking()) Draw();
        return 0;
    case WM_LBUTTONDOWN:
        FocusWindow();
        SetCapture(self);
        presenter->SeekBarPress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        Draw();
        return 0;
    case WM_LBUTTONUP: {
        ReleaseCapture();
        std::uint64_t position = 0;
        if (presenter && presenter->SeekBarRelease(&position)) {
            StartPositionedLoad(position);
        } else {
            Draw();
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_LOAD_COMPLETE:
        PollLoadResult();
        return 0;
    default: return DefWindowProcW(self, message, wParam, lParam);
    }
}

// Decodes the file again in the background; the current frame stays under
// the indicator in frame mode, so the pane never goes blank or freezes.
void PreviewHandlerCom::Reload(bool keepFrameVisible) {
    if (!source) return;
    presenter->SetLoading(true, keepFrameVisible);
    StartLoad(source.Get(), name);
}

LRESULT PreviewHandlerCom::AnswerStateQuestion(WPARAM question) const {
    if (question == kPreviewStateLoadResult) return static_cast<LRESULT>(loadFailure);
    if (question == kPreviewStateShownFrame || question == kPreviewStateFrameCount) {
        if (!presenter || !presenter->Renderer() || presenter->ShownFrame() == PreviewPresenter::kNoFrame) return -1;
        return question == kPreviewStateShownFrame ? static_cast<LRESULT>(presenter->ShownFrame())
                                                   : static_cast<LRESULT>(presenter->Renderer()->GetFrameCount());
    }
    // Nothing is shown before Direct2D can draw.
    return presenter && (presenter->IsLoading() || presenter->AwaitingTarget()) ? kPreviewStateLoading
                                                                               : kPreviewStateShowing;
}

void PreviewHandlerCom::OnTimer() {
    PollLoadResult();
    if (!presenter) return;
    // While loading only the indicator moves, and the playback clock is left alone.
    const std::uint64_t now = GetTickCount64();
    if (!presenter->OnTimerTick(now, lastTickTime)) return;
    if (presenter->IsLoading()) {
        // Each redraw of the indicator costs the decoder time: a modest rate is enough.
        if (now - lastIndicatorDraw < kIndicatorRedrawMs) return;
        lastIndicatorDraw = now;
    }
    Draw();
    if (presenter->IsLoading() && window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

void PreviewHandlerCom::OnMouseWheel(short delta) {
    if (presenter->HasTimeline()) {
        if (delta > 0) {
            StartPositionedLoad(presenter->StepVideoPosition(-1));
        } else if (delta < 0) {
            StartPositionedLoad(presenter->StepVideoPosition(+1));
        }
        return;
    }
    presenter->StepFrameByWheel(delta);
    Draw();
}

bool PreviewHandlerCom::RunKeyCommand(WPARAM key) {
    if (!presenter || !IsCommandKey(key)) return false;
    if (presenter->HasTimeline()) {
        switch (key) {
        case VK_END: StartPositionedLoad(presenter->GetEndSeekPosition()); break;
        case VK_HOME: StartPositionedLoad(0); break;
        case VK_LEFT: StartPositionedLoad(presenter->StepVideoPosition(-1)); break;
        case VK_RIGHT: StartPositionedLoad(presenter->StepVideoPosition(+1)); break;
        case kKeyR: Reload(false); break;
        default: break; // Space: nothing to pause on a still
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

void PreviewHandlerCom::OnContextMenu(LPARAM lParam) {
    FocusWindow();
    ComPtr<IWICBitmapSource> frame;
    std::uint32_t index = 0;
    if (FAILED(presenter->GetCurrentFrame(&frame, &index)) || !frame) return;

    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (at.x == -1 && at.y == -1) { // asked for from the keyboard: the centre of the preview
        RECT client = {};
        GetClientRect(window, &client);
        at = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
        ClientToScreen(window, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    // One save or copy at a time: while one runs, the commands wait greyed.
    const UINT state = exports.Busy() ? MF_GRAYED : MF_ENABLED;
    AppendMenuW(menu, MF_STRING | state, IDM_SAVE_FRAME, L"Save current frame as...");
    AppendMenuW(menu, MF_STRING | state, IDM_COPY_FRAME, L"Copy current frame");
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
    DestroyMenu(menu);
    RunFrameCommand(command, frame.Get(), index);
}

// The slow part goes to a worker; the dialog stays here. The menu's and the
// dialog's loops serve messages, Unload included: the frame is our own
// reference, and a save asked for still completes.
void PreviewHandlerCom::RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index) {
    HRESULT hr = S_OK;
    if (command == IDM_SAVE_FRAME) {
        std::wstring chosen;
        hr = AskFrameFileName(window, MakeDefaultFrameFileName(name, index), chosen);
        if (SUCCEEDED(hr)) hr = exports.StartSave(frame, std::move(chosen), NoticeWindow(), WM_FRAME_EXPORTED);
    } else if (command == IDM_COPY_FRAME) {
        HWND notice = NoticeWindow();
        hr = notice != nullptr ? exports.StartCopy(frame, notice, WM_FRAME_EXPORTED) : E_UNEXPECTED;
    }
    // Nothing is shown for a failure; a beep says the command did not happen.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED)) MessageBeep(MB_ICONWARNING);
}

void PreviewHandlerCom::OnFrameExported() {
    FinishedExport finished;
    if (!exports.TakeFinished(finished)) return;
    HRESULT hr = finished.hr;
    if (finished.copy && SUCCEEDED(hr)) hr = PutDibOnClipboard(window != nullptr ? window : messageWindow, finished.dib);
    if (FAILED(hr)) MessageBeep(MB_ICONWARNING);
}

// Our own window that takes the export's notice: the preview window, or the
// message-only window when drawing into the host's.
HWND PreviewHandlerCom::NoticeWindow() const {
    if (ownsWindow) return window;
    return messageWindow;
}

} // namespace Quivane
