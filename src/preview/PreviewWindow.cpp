// The preview window's procedure: paint, size, the 16 ms timer, the seek bar
// under the mouse, the wheel, the command keys and the context menu; then the
// window's making, placing and teardown.
#include "PreviewWindow.h"

#include "FailureNotice.h"
#include "FrameExport.h"
#include "PreviewStateMessage.h"
#include "ViewCommands.h"
#include "ViewOptionsSetting.h"
#include "platform/ComAdopt.h"
#include "platform/ComBoundary.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/ServerLifetime.h"
#include "presentation/Theme.h"
#include "presentation/VideoPosition.h"

#include <windowsx.h>

#include <algorithm>

namespace Quivane {

using Microsoft::WRL::ComPtr;

const wchar_t kPreviewWindowClass[] = L"QuivanePreviewWindow";

namespace {

constexpr WPARAM kKeyR = 0x52;
constexpr DWORD kPreviewWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;

LONG Width(const RECT& r) { return std::max<LONG>(0, r.right - r.left); }
LONG Height(const RECT& r) { return std::max<LONG>(0, r.bottom - r.top); }

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

LRESULT DialogCode(LPARAM lParam) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending == nullptr) return DLGC_WANTARROWS;
    if (pending->message == WM_KEYDOWN || pending->message == WM_SYSKEYDOWN) {
        return IsCommandKey(pending->wParam) ? DLGC_WANTALLKEYS : 0;
    }
    return DLGC_WANTARROWS;
}

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

void PreviewWindow::FocusWindow() {
    if (window != nullptr && IsWindow(window)) ::SetFocus(window);
}

void PreviewWindow::Draw() {
    if (presenter) presenter->Render();
}

void PreviewWindow::FallbackPaint() {
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

LRESULT PreviewWindow::HandleMessage(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
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
        if (lParam == 0 && IsViewCommand(command)) {
            RunViewCommand(command);
            return 0;
        }
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
void PreviewWindow::Reload(bool keepFrameVisible) {
    if (!loader.HasSource()) return;
    presenter->SetLoading(true, keepFrameVisible);
    loadFailure = S_OK;
    loader.Load();
}

void PreviewWindow::StartPositionedLoad(std::uint64_t position) {
    if (!presenter || !presenter->HasTimeline()) return;
    if (!loader.StartPositionedLoad(position)) return; // another load runs: the seek is dropped
    presenter->SetVideoPosition(position);
    presenter->SetLoading(true, true); // the current still stays under the indicator
    presenter->Render();
    if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

void PreviewWindow::PollLoadResult() {
    std::optional<LoadResult> taken = loader.TakeResult();
    if (taken && presenter) {
        if (taken->media && SUCCEEDED(taken->hr)) {
            presenter->SetMedia(std::move(taken->media));
            lastTickTime = GetTickCount64();
            loadFailure = S_OK;
            ClearLoadFailure(*presenter, ownsWindow ? window : nullptr);
        } else {
            presenter->SyncVideoPosition(); // a failed seek snaps back to the still on screen
            if (!presenter->Media()) {
                loadFailure = FAILED(taken->hr) ? taken->hr : E_FAIL;
                TellLoadFailure(*presenter, ownsWindow ? window : nullptr, loadFailure, taken->facts);
            }
        }
        presenter->SetLoading(false, false);
        presenter->Render();
        if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
    }
    if (loader.StartPendingLoad()) loadFailure = S_OK;
}

LRESULT PreviewWindow::AnswerStateQuestion(WPARAM question) const {
    if (question >= kPreviewStateInfoLine && question <= kPreviewStatePixelExact) return AnswerViewQuestion(question);
    if (question == kPreviewStateLoadResult) return static_cast<LRESULT>(loadFailure);
    if (question == kPreviewStateDecoding) return loader.AnyRunning() ? 1 : 0;
    if (question == kPreviewStatePaused) return presenter && presenter->Playback().paused ? 1 : 0;
    if (question == kPreviewStateSeeking) return presenter && presenter->IsSeeking() ? 1 : 0;
    if (question == kPreviewStateVideoPosition || question == kPreviewStateDuration ||
        question == kPreviewStateThumbPosition) {
        if (!presenter || !presenter->Media() || !presenter->HasTimeline()) return -1;
        const std::uint64_t duration = presenter->Media()->Duration();
        if (question == kPreviewStateDuration) return static_cast<LRESULT>(duration);
        if (question == kPreviewStateVideoPosition) return static_cast<LRESULT>(presenter->VideoPosition());
        return static_cast<LRESULT>(PositionAtFraction(presenter->Bar().Fraction(), duration));
    }
    if (question == kPreviewStateShownFrame || question == kPreviewStateFrameCount) {
        if (!presenter || !presenter->Media() || presenter->ShownFrame() == PreviewPresenter::kNoFrame) return -1;
        return question == kPreviewStateShownFrame ? static_cast<LRESULT>(presenter->ShownFrame())
                                                   : static_cast<LRESULT>(presenter->Media()->FrameCount());
    }
    // Nothing is shown before Direct2D can draw.
    return presenter && (presenter->IsLoading() || presenter->AwaitingTarget()) ? kPreviewStateLoading
                                                                               : kPreviewStateShowing;
}

void PreviewWindow::OnTimer() {
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
    Draw();
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

void PreviewWindow::OnContextMenu(LPARAM lParam) {
    FocusWindow();
    // Without a frame on screen (loading, a failed file) the view's items are still offered.
    ComPtr<IWICBitmapSource> frame;
    std::uint32_t index = 0;
    if (FAILED(presenter->GetCurrentFrame(&frame, &index))) frame.Reset();

    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (at.x == -1 && at.y == -1) { // asked for from the keyboard: the centre of the preview
        RECT client = {};
        GetClientRect(window, &client);
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

// The slow part goes to a worker; the dialog stays here. The menu's and the
// dialog's loops serve messages, Unload included: the frame is our own
// reference, and a save asked for still completes.
void PreviewWindow::RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index) {
    HRESULT hr = S_OK;
    if (command == IDM_SAVE_FRAME) {
        std::wstring chosen;
        hr = AskFrameFileName(window, MakeDefaultFrameFileName(loader.Name(), index), chosen);
        if (SUCCEEDED(hr)) hr = exports.StartSave(frame, std::move(chosen), NoticeWindow(), WM_FRAME_EXPORTED);
    } else if (command == IDM_COPY_FRAME) {
        HWND notice = NoticeWindow();
        hr = notice != nullptr ? exports.StartCopy(frame, notice, WM_FRAME_EXPORTED) : E_UNEXPECTED;
    }
    // Nothing is shown for a failure; a beep says the command did not happen.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED)) MessageBeep(MB_ICONWARNING);
}

void PreviewWindow::OnFrameExported() {
    FinishedExport finished;
    if (!exports.TakeFinished(finished)) return;
    HRESULT hr = finished.hr;
    if (finished.copy && SUCCEEDED(hr)) hr = PutDibOnClipboard(window != nullptr ? window : messageWindow, finished.dib);
    if (FAILED(hr)) MessageBeep(MB_ICONWARNING);
}

// Our own window that takes the export's notice: the preview window, or the
// message-only window when drawing into the host's.
HWND PreviewWindow::NoticeWindow() const {
    if (ownsWindow) return window;
    return messageWindow;
}

PreviewWindow::PreviewWindow(PreviewWindowOwner& windowOwner, PreviewLoader& windowLoader)
    : owner(windowOwner), loader(windowLoader) {}

PreviewWindow::~PreviewWindow() {
    Detach();
    Destroy();
}

HRESULT PreviewWindow::SetParent(HWND parent, const RECT& newRect) {
    if (parentWindow != nullptr && parentWindow != parent && !ownsWindow && window != nullptr) {
        // The fallback drew into the old parent itself: start again in the new one.
        presenter.reset();
        DestroyPreviewWindow();
    }
    parentWindow = parent;
    UpdateCompletionTarget();
    rect = newRect;
    if (ownsWindow) PositionPreviewWindow();
    bool created = false;
    RETURN_IF_FAILED(EnsurePresenter(created));
    if (created) {
        ApplyHostColors();
        presenter->SetLoading(true, false);
        DrawAndValidate();
        StartTimer();
        ShowOwnWindow();
        return S_OK;
    }
    presenter->Resize(GetPreviewClientRect());
    DrawAndValidate();
    return S_OK;
}

HRESULT PreviewWindow::SetRect(const RECT& newRect) {
    rect = newRect;
    if (ownsWindow) PositionPreviewWindow();
    if (presenter) {
        presenter->Resize(GetPreviewClientRect());
        if (window != nullptr) DrawAndValidate();
    }
    return S_OK;
}

HRESULT PreviewWindow::Preview() {
    if (parentWindow == nullptr || !loader.HasSource()) return E_FAIL;
    if (window == nullptr) RETURN_IF_FAILED(CreatePreviewWindow());
    if (ownsWindow) PositionPreviewWindow();
    bool created = false;
    RETURN_IF_FAILED(EnsurePresenter(created));
    if (!created) presenter->Resize(GetPreviewClientRect());
    ApplyHostColors();
    StartTimer();
    presenter->SetLoading(true, false);
    DrawAndValidate();
    ShowOwnWindow();
    loadFailure = S_OK;
    loader.Load();
    return S_OK;
}

void PreviewWindow::SetBackgroundColor(COLORREF color) {
    backgroundColorSet = true;
    backgroundColor = color;
    if (presenter) {
        presenter->SetBackgroundColor(color);
        DrawAndValidate();
    }
}

void PreviewWindow::SetTextColor(COLORREF color) {
    textColorSet = true;
    textColor = color;
    if (presenter) {
        presenter->SetTextColor(color);
        DrawAndValidate();
    }
}

void PreviewWindow::Focus() const {
    HWND target = window != nullptr ? window : parentWindow;
    if (target != nullptr && IsWindow(target)) ::SetFocus(target);
}

bool PreviewWindow::RunCommandKey(WPARAM key) {
    if (!presenter || !RunKeyCommand(key)) return false;
    presenter->Render();
    if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
    return true;
}

void PreviewWindow::DrawAndValidate() {
    presenter->Render();
    // Until Direct2D can draw, the paint message paints the background.
    if (window != nullptr && !presenter->AwaitingTarget()) ValidateRect(window, nullptr);
}

void PreviewWindow::ApplyHostColors() {
    if (backgroundColorSet) presenter->SetBackgroundColor(backgroundColor);
    if (textColorSet) presenter->SetTextColor(textColor);
}

HRESULT PreviewWindow::CreatePreviewWindow() {
    if (window != nullptr) return S_OK;
    if (parentWindow == nullptr) return E_FAIL;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ThisModule(); // the class goes with this library when it unloads
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kPreviewWindowClass;
    RegisterClassW(&windowClass); // a class left by an earlier handler is reused
    HWND created = CreateWindowExW(0, kPreviewWindowClass, L"", kPreviewWindowStyle, rect.left, rect.top, Width(rect),
                                   Height(rect), parentWindow, nullptr, windowClass.hInstance, nullptr);
    if (created == nullptr) {
        // Draw straight into the host's window, never positioning or showing it.
        // Load notices and ticks still need a window procedure of ours: a
        // message-only window takes them.
        window = parentWindow;
        ownsWindow = false;
        messageWindow = CreateWindowExW(0, kPreviewWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
        if (messageWindow != nullptr) {
            SetWindowLongPtrW(messageWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
        UpdateCompletionTarget();
        return S_OK;
    }
    window = created;
    UpdateCompletionTarget();
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ownsWindow = true;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return S_OK;
}

void PreviewWindow::PositionPreviewWindow() {
    SetWindowPos(window, nullptr, rect.left, rect.top, Width(rect), Height(rect),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

RECT PreviewWindow::GetPreviewClientRect() const {
    RECT client = {};
    if (window != nullptr && IsWindow(window) && GetClientRect(window, &client)) return client;
    return RECT{0, 0, Width(rect), Height(rect)};
}

// Load notices go to the preview window, else to the message-only window, else the parent.
void PreviewWindow::UpdateCompletionTarget() {
    HWND target = parentWindow;
    if (ownsWindow) {
        target = window;
    } else if (messageWindow != nullptr) {
        target = messageWindow;
    }
    loader.SetCompletionTarget(target);
}

void PreviewWindow::StartTimer() {
    if (ownsWindow) {
        SetTimer(window, TICK_TIMER_ID, kTickIntervalMs, nullptr);
    } else if (messageWindow != nullptr) {
        SetTimer(messageWindow, TICK_TIMER_ID, kTickIntervalMs, nullptr);
    }
}

void PreviewWindow::Detach() {
    loader.SetCompletionTarget(nullptr);
    for (HWND own : {ownsWindow ? window : nullptr, messageWindow}) {
        if (own == nullptr) continue;
        KillTimer(own, TICK_TIMER_ID);
        SetWindowLongPtrW(own, GWLP_USERDATA, 0);
    }
}

void PreviewWindow::Destroy() {
    presenter.reset();
    DestroyPreviewWindow();
    exports.LetGo();
    lastTickTime = 0;
}

void PreviewWindow::ForgetDestroyedWindow() {
    // The host destroyed its window and ours with it: nothing is drawn until
    // SetWindow gives a new one.
    Detach();
    window = nullptr;
    ownsWindow = false;
    presenter.reset();
    UpdateCompletionTarget();
}

void PreviewWindow::DestroyPreviewWindow() {
    if (messageWindow != nullptr) {
        KillTimer(messageWindow, TICK_TIMER_ID);
        SetWindowLongPtrW(messageWindow, GWLP_USERDATA, 0);
        DestroyWindow(messageWindow);
        messageWindow = nullptr;
    }
    if (window == nullptr) {
        UpdateCompletionTarget();
        return;
    }
    if (ownsWindow) {
        KillTimer(window, TICK_TIMER_ID);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    window = nullptr;
    ownsWindow = false;
    UpdateCompletionTarget();
}

HRESULT PreviewWindow::EnsurePresenter(bool& created) {
    created = false;
    if (window == nullptr) RETURN_IF_FAILED(CreatePreviewWindow());
    if (presenter) return S_OK;
    // A presenter that cannot start is not kept: a later call tries again.
    auto made = std::make_unique<PreviewPresenter>();
    // Our own window paints its background until the target is taken; the
    // host's window (the fallback) would not ask us to draw once it is.
    RETURN_IF_FAILED(made->Initialize(window, GetPreviewClientRect(), ownsWindow));
    made->SetViewOptions(ReadViewOptionsSetting());
    presenter = std::move(made);
    created = true;
    return S_OK;
}

void PreviewWindow::ShowOwnWindow() {
    if (!ownsWindow) return;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

} // namespace Quivane
