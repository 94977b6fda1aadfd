#include "PreviewHandlerCom.h"

#include "platform/ComBoundary.h"
#include "platform/FileReadStream.h"
#include "platform/HResult.h"

#include <shlguid.h>
#include <shlwapi.h>

#include <exception>
#include <memory>
#include <string>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

// The item's name of that kind; false when it has none.
bool ItemName(IShellItem* item, SIGDN kind, std::wstring& name) {
    PWSTR text = nullptr;
    const HRESULT hr = item->GetDisplayName(kind, &text);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(text, CoTaskMemFree);
    if (FAILED(hr) || text == nullptr) return false;
    name = text;
    return true;
}

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
    return ResultOf([&] {
        std::wstring path;
        // Not in the file system (a zip folder, a phone, a cloud placeholder): read through the item.
        if (!ItemName(item, SIGDN_FILESYSPATH, path) || path.empty()) return InitializeWithItemStream(item);
        return Initialize(path.c_str(), mode);
    });
}

HRESULT PreviewHandlerCom::InitializeWithItemStream(IShellItem* item) {
    ComPtr<IStream> stream;
    RETURN_IF_FAILED(item->BindToHandler(nullptr, BHID_Stream, IID_PPV_ARGS(&stream)));
    if (!stream) RETURN_FAILURE(E_NOINTERFACE);
    // Its name, with the extension where the item has one, decides when the content is not recognised.
    std::wstring name;
    if (!ItemName(item, SIGDN_PARENTRELATIVEPARSING, name)) ItemName(item, SIGDN_NORMALDISPLAY, name);
    loader.SetSource(stream.Get(), std::move(name));
    return S_OK;
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

IFACEMETHODIMP PreviewHandlerCom::SetFont(const LOGFONTW* font) {
    if (font == nullptr) return E_INVALIDARG;
    return ResultOf([&] {
        window.SetFont(*font);
        return S_OK;
    });
}

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
    return ResultOf([&] { return window.Focus(); });
}

IFACEMETHODIMP PreviewHandlerCom::QueryFocus(HWND* out) {
    if (out == nullptr) return E_POINTER;
    *out = GetFocus();
    return *out != nullptr ? S_OK : HResultFromLastError();
}

IFACEMETHODIMP PreviewHandlerCom::TranslateAccelerator(MSG* message) {
    if (message == nullptr) return S_FALSE;
    return ResultOf([&] { return RouteAccelerator(*message); });
}

namespace {

bool IsKeyDown(const MSG& message) { return message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN; }

bool SameMessage(const MSG& a, const MSG& b) {
    return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam &&
           a.time == b.time;
}

} // namespace

// Keys from the host's message pump: the pane's own keys are run (or left
// to its window when addressed to it); every other key goes to the host's
// frame, whose answer is the answer.
HRESULT PreviewHandlerCom::RouteAccelerator(const MSG& message) {
    if (!IsKeyDown(message)) return S_FALSE;
    if (PreviewWindow::ActsOnKey(message)) {
        if (window.OwnsWindow() && message.hwnd == window.Handle()) return S_FALSE; // dispatched to the window
        return window.RunCommandKey(message) ? S_OK : S_FALSE;
    }
    const HRESULT answer = AskHostFrame(message);
    declinedKey = answer == S_OK ? MSG{} : message;
    return answer;
}

HRESULT PreviewHandlerCom::OfferKeyToHost(const MSG& key) {
    if (SameMessage(key, declinedKey)) {
        declinedKey = {};
        return S_FALSE;
    }
    return ResultOf([&] { return AskHostFrame(key); });
}

HRESULT PreviewHandlerCom::AskHostFrame(const MSG& key) {
    // The frame may let go of this object or replace itself while it answers.
    const ComPtr<IPreviewHandlerFrame> frame = hostFrame;
    if (!frame) return S_FALSE;
    MSG copy = key;
    return frame->TranslateAccelerator(&copy);
}

} // namespace Quivane
