// The preview window as the host drives it: its parent and area, the preview
// itself, the host's colours and font, focus, and the two steps of teardown.
#include "PreviewWindow.h"

#include "ViewOptionsSetting.h"
#include "platform/HResult.h"

namespace Quivane {

PreviewWindow::PreviewWindow(PreviewWindowOwner& windowOwner, PreviewLoader& windowLoader)
    : owner(windowOwner), loader(windowLoader) {}

PreviewWindow::~PreviewWindow() {
    Detach();
    Destroy();
}

HRESULT PreviewWindow::SetParent(HWND parent, const RECT& newRect) {
    const bool newParent = parentWindow != nullptr && parent != parentWindow;
    if (newParent && window != nullptr && !OwnsWindow()) {
        // The fallback drew into the old parent itself: start again in the new one.
        presenter.reset();
        DestroyPreviewWindow();
    }
    parentWindow = parent;
    rect = newRect;
    if (newParent && OwnsWindow()) RETURN_IF_FAILED(MoveToParent(parent));
    if (OwnsWindow()) PositionPreviewWindow();
    bool created = false;
    RETURN_IF_FAILED(EnsurePresenter(created));
    if (created) {
        ApplyHostLook();
        presenter->SetLoading(true, false);
        Redraw();
        StartTimer();
        ShowOwnWindow();
        return S_OK;
    }
    presenter->Resize(ClientArea()); // a parent on another display may have another scale
    Redraw();
    return S_OK;
}

HRESULT PreviewWindow::SetRect(const RECT& newRect) {
    rect = newRect;
    if (OwnsWindow()) PositionPreviewWindow();
    if (presenter) {
        presenter->Resize(ClientArea());
        Redraw();
    }
    return S_OK;
}

HRESULT PreviewWindow::Preview() {
    if (parentWindow == nullptr || !loader.HasSource()) return E_FAIL;
    RETURN_IF_FAILED(CreatePreviewWindow());
    if (OwnsWindow()) PositionPreviewWindow();
    bool created = false;
    RETURN_IF_FAILED(EnsurePresenter(created));
    if (!created) presenter->Resize(ClientArea());
    ApplyHostLook();
    StartTimer();
    presenter->SetLoading(true, false);
    Redraw();
    ShowOwnWindow();
    loadFailure = S_OK;
    StopPlaying();
    loader.Load();
    return S_OK;
}

void PreviewWindow::SetBackgroundColor(COLORREF color) {
    look.backgroundSet = true;
    look.background = color;
    if (!presenter) return;
    presenter->SetBackgroundColor(color);
    Redraw();
}

void PreviewWindow::SetTextColor(COLORREF color) {
    look.textSet = true;
    look.text = color;
    if (!presenter) return;
    presenter->SetTextColor(color);
    Redraw();
}

void PreviewWindow::SetFont(const LOGFONTW& font) {
    look.fontFace.assign(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE));
    look.fontHeight = font.lfHeight;
    if (!presenter) return;
    presenter->SetHostFont(look.fontFace, look.fontHeight);
    Redraw();
}

void PreviewWindow::ApplyHostLook() {
    if (look.backgroundSet) presenter->SetBackgroundColor(look.background);
    if (look.textSet) presenter->SetTextColor(look.text);
    if (!look.fontFace.empty() || look.fontHeight != 0) presenter->SetHostFont(look.fontFace, look.fontHeight);
}

HRESULT PreviewWindow::Focus() const {
    if (window == nullptr || !IsWindow(window)) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    // The pane is one tab stop: its first and its last, whichever way focus comes in.
    ::SetFocus(window);
    return GetFocus() == window ? S_OK : HResultFromLastError();
}

void PreviewWindow::Redraw() {
    if (!presenter) return;
    presenter->Render();
    if (window == nullptr) return;
    if (!presenter->AwaitingTarget()) {
        ValidateRect(window, nullptr);
    } else if (OwnsWindow()) {
        InvalidateRect(window, nullptr, FALSE); // its paint shows the background until Direct2D can draw
    }
}

HRESULT PreviewWindow::EnsurePresenter(bool& created) {
    created = false;
    RETURN_IF_FAILED(CreatePreviewWindow());
    if (presenter) return S_OK;
    // A presenter that cannot start is not kept: a later call tries again.
    auto made = std::make_unique<PreviewPresenter>();
    // Our own window paints its background until the target is taken; the
    // host's window (the fallback) would not ask us to draw once it is.
    RETURN_IF_FAILED(made->Initialize(window, ClientArea(), OwnsWindow()));
    made->SetViewOptions(ReadViewOptionsSetting());
    presenter = std::move(made);
    created = true;
    return S_OK;
}

void PreviewWindow::Detach() {
    player.Stop(kPlayerPatienceMs);
    loader.SetCompletionTarget(nullptr);
    if (noticeWindow == nullptr) return;
    KillTimer(noticeWindow, TICK_TIMER_ID);
    SetWindowLongPtrW(noticeWindow, GWLP_USERDATA, 0);
}

void PreviewWindow::Destroy() {
    presenter.reset();
    DestroyPreviewWindow();
    exports.LetGo();
    lastTickTime = 0;
}

} // namespace Quivane
