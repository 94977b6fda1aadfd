#pragma once
// What a preview host hands the handler beside its window: a frame site that
// records every key offered to it, items of the shell (in the file system or
// not), and a message pump that offers keys to the handler first.
#include "TestSupport.h"

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace QuivaneTest {

// One COM interface and its reference count, for the host's objects.
template <typename Interface>
class TestComObject : public Interface {
public:
    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(Interface)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    IFACEMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    TestComObject() = default;
    virtual ~TestComObject() = default;

private:
    LONG references_ = 1;
};

// The host's IPreviewHandlerFrame: takes the keys in `takes` (its
// accelerators), declines the rest, and records each one it is offered.
class RecordingFrame final : public TestComObject<IPreviewHandlerFrame> {
public:
    static ComPtr<RecordingFrame> Make();

    IFACEMETHODIMP GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) override;
    IFACEMETHODIMP TranslateAccelerator(MSG* message) override;

    std::set<WPARAM> takes;
    std::vector<MSG> received;

private:
    RecordingFrame() = default;
};

// A shell item over `bytes`. With a path it is a file's item (the path is
// its file-system name); without, it is read only through BindToHandler
// with BHID_Stream, as zip folders, phones and cloud placeholders are.
class TestShellItem final : public TestComObject<IShellItem> {
public:
    static ComPtr<TestShellItem> Make(std::vector<std::uint8_t> bytes, std::wstring name, std::wstring path = {});

    IFACEMETHODIMP BindToHandler(IBindCtx* context, REFGUID handler, REFIID iid, void** out) override;
    IFACEMETHODIMP GetParent(IShellItem** parent) override;
    IFACEMETHODIMP GetDisplayName(SIGDN kind, LPWSTR* name) override;
    IFACEMETHODIMP GetAttributes(SFGAOF mask, SFGAOF* attributes) override;
    IFACEMETHODIMP Compare(IShellItem* other, SICHINTF hint, int* order) override;

    int streamsGiven = 0;

private:
    TestShellItem() = default;
    std::vector<std::uint8_t> bytes_;
    std::wstring name_;
    std::wstring path_;
};

// Posts `key` to `target` and serves the queue as a preview host does: each
// key message goes to the handler's TranslateAccelerator first and is
// dispatched only when that answers other than S_OK. Returns the answer for
// the posted key.
HRESULT HostPressesKey(IPreviewHandler* handler, HWND target, UINT message, WPARAM key);

// Holds the given keys down in this thread's keyboard state while it lives.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys);
    ~HeldKeys();
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;

private:
    BYTE before_[256] = {};
};

// A window's place in its parent's client area.
RECT PlaceInParent(HWND window);

} // namespace QuivaneTest
