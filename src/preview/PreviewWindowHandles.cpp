// The preview's windows: its own child of the host's window, made, moved to
// a new parent, placed and destroyed; and, when the child cannot be made,
// drawing into the host's window itself.
#include "PreviewWindow.h"

#include "platform/HResult.h"
#include "platform/ServerLifetime.h"

#include <algorithm>

namespace Quivane {

const wchar_t kPreviewWindowClass[] = L"QuivanePreviewWindow";

namespace {

constexpr DWORD kPreviewWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;

LONG Width(const RECT& r) { return std::max<LONG>(0, r.right - r.left); }
LONG Height(const RECT& r) { return std::max<LONG>(0, r.bottom - r.top); }

} // namespace

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
        UseHostWindow();
    } else {
        window = noticeWindow = created;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowOwnWindow();
    }
    loader.SetCompletionTarget(noticeWindow);
    return S_OK;
}

// Draws straight into the host's window, never positioning, showing or
// destroying it. Load notices and ticks still need a window procedure of
// ours: a message-only window takes them.
void PreviewWindow::UseHostWindow() {
    window = parentWindow;
    noticeWindow = CreateWindowExW(0, kPreviewWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                                   nullptr);
    if (noticeWindow != nullptr) SetWindowLongPtrW(noticeWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// The host re-docked or rebuilt its frame: the pane goes along with what it shows.
HRESULT PreviewWindow::MoveToParent(HWND parent) {
    if (::SetParent(window, parent) == nullptr) RETURN_FAILURE(HResultFromLastError());
    return S_OK;
}

void PreviewWindow::PositionPreviewWindow() {
    SetWindowPos(window, nullptr, rect.left, rect.top, Width(rect), Height(rect),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void PreviewWindow::ShowOwnWindow() {
    if (!OwnsWindow()) return;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

RECT PreviewWindow::ClientArea() const {
    RECT client = {};
    if (window != nullptr && IsWindow(window) && GetClientRect(window, &client)) return client;
    return RECT{0, 0, Width(rect), Height(rect)};
}

void PreviewWindow::StartTimer() {
    if (noticeWindow != nullptr) SetTimer(noticeWindow, TICK_TIMER_ID, kTickIntervalMs, nullptr);
}

// Our own windows go; the host's window is only forgotten.
void PreviewWindow::DestroyPreviewWindow() {
    loader.SetCompletionTarget(nullptr);
    if (noticeWindow != nullptr) {
        KillTimer(noticeWindow, TICK_TIMER_ID);
        SetWindowLongPtrW(noticeWindow, GWLP_USERDATA, 0);
        DestroyWindow(noticeWindow);
    }
    window = noticeWindow = nullptr;
}

// The host destroyed its window and ours with it: nothing is drawn until
// SetWindow gives a new one.
void PreviewWindow::ForgetDestroyedWindow() {
    Detach();
    window = noticeWindow = nullptr;
    presenter.reset();
}

} // namespace Quivane
