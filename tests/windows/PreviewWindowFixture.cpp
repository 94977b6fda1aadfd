#include "PreviewWindowFixture.h"

#include "platform/HResult.h"
#include "platform/QuivaneKey.h"
#include "platform/WicImaging.h"
#include "presentation/PreviewPresenter.h"
#include "preview/PreviewStateMessage.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstring>

namespace QuivaneTest {
namespace {

const wchar_t kClassName[] = L"QuivaneTestPreviewHost";
const wchar_t kPersonalize[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

void RegisterTestClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    windowClass.hbrBackground = nullptr;
    RegisterClassW(&windowClass);
    registered = true;
}

} // namespace

TestWindow::TestWindow(int width, int height, int left, int top) {
    RegisterTestClass();
    window_ = CreateWindowExW(WS_EX_TOPMOST, kClassName, L"Quivane test", WS_POPUP | WS_VISIBLE, left, top, width, height,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(window_);
    PumpMessages();
}

RECT TestWindow::ClientRect() const {
    RECT rect = {};
    GetClientRect(window_, &rect);
    return rect;
}

bool PumpUntil(const std::function<bool()>& done, DWORD boundMs) {
    const ULONGLONG giveUp = GetTickCount64() + boundMs;
    MSG message;
    while (!done()) {
        if (GetTickCount64() > giveUp) return false;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void TestWindow::PumpMessages() const {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

Pixels TestWindow::Capture() const {
    Pixels pixels;
    const RECT rect = ClientRect();
    pixels.width = static_cast<UINT>(rect.right);
    pixels.height = static_cast<UINT>(rect.bottom);
    pixels.bytes.assign(static_cast<size_t>(pixels.width) * pixels.height * 4, 0);
    HDC windowDc = GetDC(window_);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(pixels.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(pixels.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, section);
    BitBlt(memoryDc, 0, 0, rect.right, rect.bottom, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    memcpy(pixels.bytes.data(), bits, pixels.bytes.size());
    SelectObject(memoryDc, old);
    DeleteObject(section);
    DeleteDC(memoryDc);
    ReleaseDC(window_, windowDc);
    return pixels;
}

HWND PreviewWindowOf(IUnknown* handler) {
    Microsoft::WRL::ComPtr<IOleWindow> oleWindow;
    HWND window = nullptr;
    if (handler == nullptr || FAILED(handler->QueryInterface(IID_PPV_ARGS(&oleWindow)))) return nullptr;
    if (FAILED(oleWindow->GetWindow(&window))) return nullptr;
    return window;
}

LRESULT AskPreviewState(HWND preview, WPARAM question) {
    return SendMessageW(preview, Quivane::PreviewStateMessage(), question, 0);
}

std::string DescribePreviewState(HWND preview) {
    using namespace Quivane;
    if (!IsWindow(preview)) return "no preview window";
    const auto ask = [preview](WPARAM question) { return std::to_string(AskPreviewState(preview, question)); };
    return "state " + ask(0) + ", decoding " + ask(kPreviewStateDecoding) + ", frame " +
           ask(kPreviewStateShownFrame) + " of " + ask(kPreviewStateFrameCount) + ", load result " +
           ask(kPreviewStateLoadResult) + (IsWindowVisible(preview) ? ", visible" : ", hidden");
}

Pixels PrintedPicture(HWND preview) {
    Pixels pixels;
    RECT client = {};
    if (preview == nullptr || !GetClientRect(preview, &client) || client.right <= 0 || client.bottom <= 0) {
        return pixels;
    }
    pixels.width = static_cast<UINT>(client.right);
    pixels.height = static_cast<UINT>(client.bottom);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (section == nullptr || dc == nullptr) {
        if (dc != nullptr) DeleteDC(dc);
        if (section != nullptr) DeleteObject(section);
        pixels = Pixels();
        return pixels;
    }
    HGDIOBJ old = SelectObject(dc, section);
    SendMessageW(preview, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    pixels.bytes.assign(static_cast<size_t>(pixels.width) * pixels.height * 4, 0);
    std::memcpy(pixels.bytes.data(), bits, pixels.bytes.size());
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(section);
    return pixels;
}

ThemeOverride::ThemeOverride(int light) {
    DWORD size = sizeof(previous_);
    hadValue_ = RegGetValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                             &previous_, &size) == ERROR_SUCCESS;
    if (light < 0) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
    } else {
        const DWORD value = static_cast<DWORD>(light);
        RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", REG_DWORD, &value, sizeof(value));
    }
}

ThemeOverride::~ThemeOverride() {
    if (hadValue_) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", REG_DWORD, &previous_, sizeof(previous_));
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
    }
}

HRESULT RenderedPicture(Quivane::PreviewPresenter& presenter, UINT width, UINT height, Pixels& out) {
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
    Microsoft::WRL::ComPtr<IWICBitmap> bitmap;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    RETURN_IF_FAILED(
        factory->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &bitmap));
    RETURN_IF_FAILED(presenter.RenderToBitmap(bitmap.Get()));
    return ReadPremultipliedBgra(bitmap.Get(), out);
}

PrivateUserRegistry::PrivateUserRegistry(const std::wstring& name) : key_name_(L"Software\\Quivane " + name) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key_name_.c_str());
    HKEY created = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                              nullptr),
              ERROR_SUCCESS);
    key_.Reset(created);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, key_.Get()), ERROR_SUCCESS);
}

PrivateUserRegistry::~PrivateUserRegistry() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    key_.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, key_name_.c_str());
}

void PrivateUserRegistry::Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, Quivane::kQuivaneKey, name, type, data, size), ERROR_SUCCESS);
}

} // namespace QuivaneTest
