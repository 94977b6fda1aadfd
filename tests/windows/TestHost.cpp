#include "TestHost.h"

#include "platform/ComAdopt.h"

#include <shlguid.h>
#include <shlwapi.h>

#include <cstring>

namespace QuivaneTest {

namespace {

HRESULT CopyString(const std::wstring& text, LPWSTR* out) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text.c_str(), bytes);
    return S_OK;
}

bool IsKeyMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }

} // namespace

ComPtr<RecordingFrame> RecordingFrame::Make() {
    ComPtr<RecordingFrame> frame;
    Quivane::AdoptReference(frame, new RecordingFrame()); // its count starts at one
    return frame;
}

IFACEMETHODIMP RecordingFrame::GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) {
    if (info == nullptr) return E_POINTER;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

IFACEMETHODIMP RecordingFrame::TranslateAccelerator(MSG* message) {
    if (message == nullptr) return E_POINTER;
    received.push_back(*message);
    return takes.count(message->wParam) != 0 ? S_OK : S_FALSE;
}

ComPtr<TestShellItem> TestShellItem::Make(std::vector<std::uint8_t> bytes, std::wstring name, std::wstring path) {
    ComPtr<TestShellItem> item;
    Quivane::AdoptReference(item, new TestShellItem()); // its count starts at one
    item->bytes_ = std::move(bytes);
    item->name_ = std::move(name);
    item->path_ = std::move(path);
    return item;
}

IFACEMETHODIMP TestShellItem::BindToHandler(IBindCtx*, REFGUID handler, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (handler != BHID_Stream) return MK_E_NOOBJECT;
    ++streamsGiven;
    return StreamFromBytes(bytes_)->QueryInterface(iid, out);
}

IFACEMETHODIMP TestShellItem::GetParent(IShellItem** parent) {
    if (parent != nullptr) *parent = nullptr;
    return MK_E_NOOBJECT;
}

IFACEMETHODIMP TestShellItem::GetDisplayName(SIGDN kind, LPWSTR* name) {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    if (kind == SIGDN_FILESYSPATH) return path_.empty() ? E_INVALIDARG : CopyString(path_, name);
    return CopyString(name_, name);
}

IFACEMETHODIMP TestShellItem::GetAttributes(SFGAOF mask, SFGAOF* attributes) {
    if (attributes == nullptr) return E_POINTER;
    *attributes = mask & (SFGAO_STREAM | (path_.empty() ? 0 : SFGAO_FILESYSTEM));
    return S_OK;
}

IFACEMETHODIMP TestShellItem::Compare(IShellItem* other, SICHINTF, int* order) {
    if (order == nullptr) return E_POINTER;
    *order = other == this ? 0 : 1;
    return *order == 0 ? S_OK : S_FALSE;
}

HRESULT HostPressesKey(IPreviewHandler* handler, HWND target, UINT message, WPARAM key) {
    HRESULT answer = E_UNEXPECTED; // the key never came through the queue
    PostMessageW(target, message, key, 1);
    MSG queued;
    while (PeekMessageW(&queued, nullptr, 0, 0, PM_REMOVE)) {
        if (IsKeyMessage(queued.message)) {
            const HRESULT hr = handler->TranslateAccelerator(&queued);
            if (queued.hwnd == target && queued.message == message && queued.wParam == key) answer = hr;
            if (hr == S_OK) continue;
        }
        TranslateMessage(&queued);
        DispatchMessageW(&queued);
    }
    return answer;
}

HeldKeys::HeldKeys(std::initializer_list<int> keys) {
    GetKeyboardState(before_);
    BYTE held[256];
    std::memcpy(held, before_, sizeof(held));
    for (int key : keys) held[key] |= 0x80;
    SetKeyboardState(held);
}

HeldKeys::~HeldKeys() { SetKeyboardState(before_); }

RECT PlaceInParent(HWND window) {
    RECT place = {};
    GetWindowRect(window, &place);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

} // namespace QuivaneTest
