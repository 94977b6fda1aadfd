#include "PreviewHandlerCom.h"

#include "platform/ComBoundary.h"
#include "platform/FileReadStream.h"
#include "platform/HResult.h"

#include <shlwapi.h>

#include <exception>

namespace Quivane {

using Microsoft::WRL::ComPtr;

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

PreviewHandlerCom::PreviewHandlerCom() = default;

PreviewHandlerCom::~PreviewHandlerCom() {
    // The windows let go of this object before anything below waits: waiting
    // for workers serves messages, and a paint or a tick must then find no
    // handler rather than one that is being destroyed.
    TearDown();
    hostFrame.Reset();
    site.Reset();
    loader.ForgetSource();
}

void PreviewHandlerCom::TearDown() {
    window.Detach();
    loader.CancelAll();
    window.Destroy();
}

IFACEMETHODIMP PreviewHandlerCom::QueryInterface(REFIID iid, void** out) {
    static const QITAB interfaces[] = {
        {&IID_IPreviewHandler, static_cast<int>(OFFSETOFCLASS(IPreviewHandler, PreviewHandlerCom))},
        {&IID_IInitializeWithStream, static_cast<int>(OFFSETOFCLASS(IInitializeWithStream, PreviewHandlerCom))},
        {&IID_IInitializeWithFile, static_cast<int>(OFFSETOFCLASS(IInitializeWithFile, PreviewHandlerCom))},
        {&IID_IInitializeWithItem, static_cast<int>(OFFSETOFCLASS(IInitializeWithItem, PreviewHandlerCom))},
        {&IID_IObjectWithSite, static_cast<int>(OFFSETOFCLASS(IObjectWithSite, PreviewHandlerCom))},
        {&IID_IOleWindow, static_cast<int>(OFFSETOFCLASS(IOleWindow, PreviewHandlerCom))},
        {&IID_IPreviewHandlerVisuals, static_cast<int>(OFFSETOFCLASS(IPreviewHandlerVisuals, PreviewHandlerCom))},
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, out);
}

IFACEMETHODIMP_(ULONG) PreviewHandlerCom::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

IUnknown* PreviewHandlerCom::TryAddRef() {
    LONG current = InterlockedCompareExchange(&refCount, 0, 0);
    while (current > 0) {
        const LONG seen = InterlockedCompareExchange(&refCount, current + 1, current);
        if (seen == current) return static_cast<IPreviewHandler*>(this);
        current = seen;
    }
    return nullptr; // released already: a count that reached zero never rises again
}

IFACEMETHODIMP_(ULONG) PreviewHandlerCom::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

IFACEMETHODIMP PreviewHandlerCom::Initialize(IStream* stream, DWORD) {
    if (stream == nullptr) return E_POINTER;
    loader.SetSource(stream, std::wstring());
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::Initialize(LPCWSTR path, DWORD) {
    if (path == nullptr || path[0] == L'\0') return E_INVALIDARG;
    return ResultOf([&] {
        ComPtr<IStream> opened;
        // Read by the load worker directly, not through this thread.
        RETURN_IF_FAILED(CreateFileReadStream(path, &opened));
        if (!opened) return E_FAIL;
        loader.SetSource(opened.Get(), path);
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
    *out = window.Handle() != nullptr ? window.Handle() : window.Parent();
    return S_OK;
}

IFACEMETHODIMP PreviewHandlerCom::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

IFACEMETHODIMP PreviewHandlerCom::SetBackgroundColor(COLORREF color) {
    return ResultOf([&] {
        window.SetBackgroundColor(color);
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetTextColor(COLORREF color) {
    return ResultOf([&] {
        window.SetTextColor(color);
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetFont(const LOGFONTW* font) { return font == nullptr ? E_INVALIDARG : S_OK; }

IFACEMETHODIMP PreviewHandlerCom::SetWindow(HWND parent, const RECT* newRect) {
    if (parent == nullptr || newRect == nullptr) return E_INVALIDARG;
    return ResultOf([&] { return window.SetParent(parent, *newRect); });
}

IFACEMETHODIMP PreviewHandlerCom::SetRect(const RECT* newRect) {
    if (newRect == nullptr) return E_INVALIDARG;
    return ResultOf([&] { return window.SetRect(*newRect); });
}

IFACEMETHODIMP PreviewHandlerCom::DoPreview() {
    return ResultOf([&] { return window.Preview(); });
}

IFACEMETHODIMP PreviewHandlerCom::Unload() {
    return ResultOf([&] {
        TearDown();
        loader.ForgetSource();
        return S_OK;
    });
}

IFACEMETHODIMP PreviewHandlerCom::SetFocus() {
    window.Focus();
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
    const HWND own = window.Handle();
    if (keyDown && own != nullptr && message->hwnd == own) return S_FALSE; // the window handles its own keys
    if (keyDown && window.RunCommandKey(message->wParam)) return S_OK;
    if (hostFrame) return hostFrame->TranslateAccelerator(message);
    return S_FALSE;
}

} // namespace Quivane
