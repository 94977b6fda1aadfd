#include "PreviewHandlerCom.h"

#include "platform/ComBoundary.h"
#include "platform/FileReadStream.h"
#include "platform/HResult.h"

#include <shlwapi.h>

#include <algorithm>
#include <exception>

namespace Quivane {

using Microsoft::WRL::ComPtr;

const wchar_t kPreviewWindowClass[] = L"QuivanePreviewWindow";

namespace {

constexpr DWORD kPreviewWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;

LONG Width(const RECT& r) { return std::max<LONG>(0, r.right - r.left); }
LONG Height(const RECT& r) { return std::max<LONG>(0, r.bottom - r.top); }

} // namespace

HRESULT CreatePreviewHandler(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    PreviewHandlerCom* handler = nullptr;
    try {
        handler = new PreviewHandlerCom();
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = handler->QueryInterface(iid, out);
    handler->Release(); // a refused interface destroys the new object here
    return hr;
}

PreviewHandlerCom::PreviewHandlerCom() : channel(std::make_shared<LoadChannel>()) {}

PreviewHandlerCom::~PreviewHandlerCom() {
    // The windows let go of this object before anything below waits: waiting
    // for workers serves messages, and a paint or a tick must then find no
    // handler rather than one that is being destroyed.
    TearDown();
    hostFrame.Reset();
    site.Reset();
    source.Reset();
}

// Unload and destruction, in one order: the windows are detached, the loads
// stopped, the presenter and the windows destroyed.
void PreviewHandlerCom::TearDown() {
    DetachWindows();
    CancelLoads();
    presenter.reset();
    DestroyPreviewWindow();
    exports.LetGo();
}

IFACEMETHODIMP PreviewHandlerCom::QueryInterface(REFIID iid, void** out) {
    static const QITAB interfaces[] = {
        {&IID_IPreviewHandler, OFFSETOFCLASS(IPreviewHandler, PreviewHandlerCom)},
        {&IID_IInitializeWithStream, OFFSETOFCLASS(IInitializeWithStream, PreviewHandlerCom)},
        {&IID_IInitializeWithFile, OFFSETOFCLASS(IInitializeWithFile, PreviewHandlerCom)},
        {&IID_IInitializeWithItem, OFFSETOFCLASS(IInitializeWithItem, PreviewHandlerCom)},
        {&IID_IObjectWithSite, OFFSETOFCLASS(IObjectWithSite, PreviewHandlerCom)},
        {&IID_IOleWindow, OFFSETOFCLASS(IOleWindow, PreviewHandlerCom)},
        {&IID_IPreviewHandlerVisuals, OFFSETOFCLASS(IPreviewHandlerVisuals, PreviewHandlerCom)},
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, out);
}

IFACEMETHODIMP_(ULONG) PreviewHandlerCom::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

bool PreviewHandlerCom::TryAddRef() {
    LONG current = InterlockedCompareExchange(&refCount, 0, 0);
    while (current > 0) {
        const LONG seen = InterlockedCompareExchange(&refCount, current + 1, current);
        if (seen == current) return true;
        current = seen;
    }
    return false; // released already: a count that reached zero never rises again
}

IFACEMETHODIMP_(ULONG) PreviewHandlerCom::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

IFACEMETHODIMP PreviewHandlerCom::Initialize(IStream* stream, DWORD) {
    if (stream == nullptr) return E_POINTER;
    source = stream;
    name.clear();
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::Initialize(LPCWSTR path, DWORD) {
    if (path == nullptr || path[0] == L'\0') return E_INVALIDARG;
    return ResultOf([&] {
        ComPtr<IStream> opened;
        // Read by the load worker directly, not through this thread.
        RETURN_IF_FAILED(CreateFileReadStream(path, &opened));
        if (!opened) return E_FAIL;
        std::wstring openedName = path;
        source = opened;
        name = std::move(openedName);
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::Initialize(IShellItem* item, DWORD mode) {
    if (item == nullptr) return E_INVALIDARG;
    PWSTR path = nullptr;
    const HRESULT hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    if (FAILED(hr)) return hr;
    if (path == nullptr) return E_FAIL;
    const HRESULT result = Initialize(static_cast<LPCWSTR>(path), mode);
    CoTaskMemFree(path);
    return result;
}

IFACEMETHODIMP PreviewHandlerCom::SetSite(IUnknown* newSite) {
    site = newSite;
    hostFrame.Reset();
    if (site) site.As(&hostFrame); // a site without a frame leaves it null
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::GetSite(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!site) return E_FAIL;
    return site->QueryInterface(iid, out);
}

IFACEMETHODIMP PreviewHandlerCom::GetWindow(HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = window != nullptr ? window : parentWindow;
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

IFACEMETHODIMP PreviewHandlerCom::SetBackgroundColor(COLORREF color) {
    backgroundColorSet = true;
    backgroundColor = color;
    return ResultOf([&] {
        if (presenter) {
            presenter->SetBackgroundColor(color);
            DrawAndValidate();
        }
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetTextColor(COLORREF color) {
    textColorSet = true;
    textColor = color;
    return ResultOf([&] {
        if (presenter) {
            presenter->SetTextColor(color);
            DrawAndValidate();
        }
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetFont(const LOGFONTW* font) { return font == nullptr ? E_INVALIDARG : S_OK; }

void PreviewHandlerCom::DrawAndValidate() {
    presenter->Render();
    // Until Direct2D can draw, the paint message paints the background.
    if (window != nullptr && !presenter->AwaitingTarget()) ValidateRect(window, nullptr);
}

void PreviewHandlerCom::ApplyHostColors() {
    if (backgroundColorSet) presenter->SetBackgroundColor(backgroundColor);
    if (textColorSet) presenter->SetTextColor(textColor);
}

HRESULT PreviewHandlerCom::CreatePreviewWindow() {
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

void PreviewHandlerCom::PositionPreviewWindow() {
    SetWindowPos(window, nullptr, rect.left, rect.top, Width(rect), Height(rect),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

RECT PreviewHandlerCom::GetPreviewClientRect() const {
    RECT client = {};
    if (window != nullptr && IsWindow(window) && GetClientRect(window, &client)) return client;
    return RECT{0, 0, Width(rect), Height(rect)};
}

void PreviewHandlerCom::UpdateCompletionTarget() {
    HWND target = parentWindow;
    if (ownsWindow) {
        target = window;
    } else if (messageWindow != nullptr) {
        target = messageWindow;
    }
    channel->completionTarget.store(target);
}

void PreviewHandlerCom::StartTimer() {
    if (ownsWindow) {
        SetTimer(window, TICK_TIMER_ID, kTickIntervalMs, nullptr);
    } else if (messageWindow != nullptr) {
        SetTimer(messageWindow, TICK_TIMER_ID, kTickIntervalMs, nullptr);
    }
}

void PreviewHandlerCom::DetachWindows() {
    channel->completionTarget.store(nullptr);
    for (HWND own : {ownsWindow ? window : nullptr, messageWindow}) {
        if (own == nullptr) continue;
        KillTimer(own, TICK_TIMER_ID);
        SetWindowLongPtrW(own, GWLP_USERDATA, 0);
    }
}

void PreviewHandlerCom::ForgetDestroyedWindow() {
    // The host destroyed its window and ours with it: nothing is drawn until
    // SetWindow gives a new one.
    DetachWindows();
    window = nullptr;
    ownsWindow = false;
    presenter.reset();
    UpdateCompletionTarget();
}

void PreviewHandlerCom::DestroyPreviewWindow() {
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

HRESULT PreviewHandlerCom::EnsurePresenter(bool& created) {
    created = false;
    if (window == nullptr) RETURN_IF_FAILED(CreatePreviewWindow());
    if (presenter) return S_OK;
    // A presenter that cannot start is not kept: a later call tries again.
    auto made = std::make_unique<PreviewPresenter>();
    // Our own window paints its background until the target is taken; the
    // host's window (the fallback) would not ask us to draw once it is.
    RETURN_IF_FAILED(made->Initialize(window, GetPreviewClientRect(), ownsWindow));
    presenter = std::move(made);
    created = true;
    return S_OK;
}

void PreviewHandlerCom::ShowOwnWindow() {
    if (!ownsWindow) return;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

IFACEMETHODIMP PreviewHandlerCom::SetWindow(HWND parent, const RECT* newRect) {
    if (parent == nullptr || newRect == nullptr) return E_INVALIDARG;
    return ResultOf([&] {
        if (parentWindow != nullptr && parentWindow != parent && !ownsWindow && window != nullptr) {
            // The fallback drew into the old parent itself: start again in the new one.
            presenter.reset();
            DestroyPreviewWindow();
        }
        parentWindow = parent;
        UpdateCompletionTarget();
        rect = *newRect;
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
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetRect(const RECT* newRect) {
    if (newRect == nullptr) return E_INVALIDARG;
    return ResultOf([&] {
        rect = *newRect;
        if (ownsWindow) PositionPreviewWindow();
        if (presenter) {
            presenter->Resize(GetPreviewClientRect());
            if (window != nullptr) DrawAndValidate();
        }
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::DoPreview() {
    if (parentWindow == nullptr || !source) return E_FAIL;
    return ResultOf([&] {
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
        StartLoad(source.Get(), name);
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::Unload() {
    return ResultOf([&] {
        TearDown();
        source.Reset();
        name.clear();
        lastTickTime = 0;
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetFocus() {
    HWND target = window != nullptr ? window : parentWindow;
    if (target != nullptr && IsWindow(target)) ::SetFocus(target);
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::QueryFocus(HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = GetFocus();
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::TranslateAccelerator(MSG* message) {
    if (message == nullptr) return S_FALSE;
    return ResultOf([&] { return RouteAccelerator(message); });
}

HRESULT PreviewHandlerCom::RouteAccelerator(MSG* message) {
    const bool keyDown = message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN;
    if (keyDown && window != nullptr && message->hwnd == window) return S_FALSE; // the window handles its own keys
    if (presenter && keyDown && RunKeyCommand(message->wParam)) {
        presenter->Render();
        if (window != nullptr) InvalidateRect(window, nullptr, FALSE);
        return S_OK;
    }
    if (hostFrame) return hostFrame->TranslateAccelerator(message);
    return S_FALSE;
}

} // namespace Quivane
