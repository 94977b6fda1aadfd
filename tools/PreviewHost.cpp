#include "PreviewHost.h"

#include "Console.h"
#include "ImageFiles.h"
#include "ServerActivation.h"
#include "platform/ServerClasses.h"
#include "platform/ComAdopt.h"
#include "platform/HResult.h"
#include "platform/WindowDpi.h"
#include "preview/PreviewStateMessage.h"

#include <new>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kHostClass[] = L"QuivanePreviewHost";

// The host frame the handler finds through its site: no accelerators of its own.
class HostFrame final : public IPreviewHandlerFrame {
public:
    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IPreviewHandlerFrame) return E_NOINTERFACE;
        *out = static_cast<IPreviewHandlerFrame*>(this);
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    IFACEMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    IFACEMETHODIMP GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) override {
        if (info == nullptr) return E_POINTER;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    IFACEMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    LONG references_ = 1;
};

} // namespace

PreviewHost::~PreviewHost() { Close(); }

LRESULT CALLBACK PreviewHost::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<PreviewHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host != nullptr && host->handler_) {
        if (message == WM_SIZE) {
            RECT client;
            GetClientRect(window, &client);
            host->handler_->SetRect(&client);
            return 0;
        }
        if (message == WM_SETFOCUS) {
            host->handler_->SetFocus();
            return 0;
        }
    }
    if (message == WM_CLOSE) {
        if (host != nullptr) host->Close();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HRESULT PreviewHost::Open(const std::wstring& path, int width, int height) {
    // Explorer's preview host is aware of each display's DPI; this host is
    // too, so the pane is drawn here as it is there.
    Quivane::BecomeDpiAwareProcess();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kHostClass;
    RegisterClassW(&windowClass);
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    hostWindow_ = CreateWindowExW(0, kHostClass, L"Quivane preview", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (hostWindow_ == nullptr) return HResultFromLastError();
    SetWindowLongPtrW(hostWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    Activation how = Activation::RegisteredClass;
    HRESULT hr = CreateServerObject(Quivane::CLSID_QuivanePreviewHandler, IID_PPV_ARGS(&handler_), &how);
    PrintError(L"preview handler from %ls\n", DescribeActivation(how));
    if (FAILED(hr)) return hr;
    ComPtr<IInitializeWithFile> initialize;
    if (FAILED(hr = handler_.As(&initialize))) return hr;
    if (FAILED(hr = initialize->Initialize(path.c_str(), STGM_READ))) return hr;
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(handler_.As(&withSite))) {
        Quivane::AdoptReference(site_, static_cast<IPreviewHandlerFrame*>(new (std::nothrow) HostFrame()));
        withSite->SetSite(site_.Get());
    }
    RECT client;
    GetClientRect(hostWindow_, &client);
    return handler_->SetWindow(hostWindow_, &client);
}

HRESULT PreviewHost::Preview() {
    if (!handler_) return E_UNEXPECTED;
    const HRESULT hr = handler_->DoPreview();
    if (SUCCEEDED(hr)) handler_->SetFocus();
    return hr;
}

void PreviewHost::Close() {
    if (handler_) {
        loadResult_ = LoadResult(); // still known once the window has closed
        handler_->Unload();
        ComPtr<IObjectWithSite> withSite;
        if (SUCCEEDED(handler_.As(&withSite))) withSite->SetSite(nullptr);
        handler_.Reset();
    }
    site_.Reset();
    if (hostWindow_ != nullptr) {
        SetWindowLongPtrW(hostWindow_, GWLP_USERDATA, 0);
        DestroyWindow(hostWindow_);
        hostWindow_ = nullptr;
    }
}

HWND PreviewHost::PreviewWindow() const {
    HWND window = nullptr;
    ComPtr<IOleWindow> oleWindow;
    if (handler_ && SUCCEEDED(handler_.As(&oleWindow))) oleWindow->GetWindow(&window);
    return window;
}

bool PreviewHost::IsLoading() const {
    const HWND preview = PreviewWindow();
    return preview == nullptr ||
           SendMessageW(preview, Quivane::PreviewStateMessage(), 0, 0) != Quivane::kPreviewStateShowing;
}

HRESULT PreviewHost::LoadResult() const {
    const HWND preview = PreviewWindow();
    if (preview == nullptr) return loadResult_;
    return static_cast<HRESULT>(SendMessageW(preview, Quivane::PreviewStateMessage(), Quivane::kPreviewStateLoadResult, 0));
}

long long PreviewHost::ShownFrame() const {
    const HWND preview = PreviewWindow();
    if (preview == nullptr) return -1;
    return SendMessageW(preview, Quivane::PreviewStateMessage(), Quivane::kPreviewStateShownFrame, 0);
}

long long PreviewHost::FrameCount() const {
    const HWND preview = PreviewWindow();
    if (preview == nullptr) return -1;
    return SendMessageW(preview, Quivane::PreviewStateMessage(), Quivane::kPreviewStateFrameCount, 0);
}

HRESULT PreviewHost::SavePicture(const std::wstring& path) const {
    const HWND preview = PreviewWindow();
    RECT client = {};
    if (preview == nullptr || !GetClientRect(preview, &client) || client.right <= 0 || client.bottom <= 0) return E_FAIL;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr) return E_OUTOFMEMORY;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        DeleteObject(picture);
        return HResultFromLastError();
    }
    HGDIOBJ previous = SelectObject(dc, picture);
    SendMessageW(preview, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SelectObject(dc, previous);
    DeleteDC(dc);
    const HRESULT hr = WriteDibSectionPng(picture, path);
    DeleteObject(picture);
    return hr;
}

void PreviewHost::Dispatch(MSG& message) {
    if (handler_ && (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
        handler_->TranslateAccelerator(&message) == S_OK) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

} // namespace QuivaneTool
