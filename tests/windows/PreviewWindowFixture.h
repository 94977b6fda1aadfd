#pragma once
// A real top-level window on the test display for the presenter to draw in,
// with its pixels read back through GDI.
#include "TestSupport.h"

#include <windows.h>
#include <oleidl.h>

#include "platform/OwnedHandles.h"

#include <functional>
#include <string>

namespace Quivane {
class PreviewPresenter;
}

namespace QuivaneTest {

class TestWindow {
public:
    // A topmost popup at (left, top) of the test display.
    TestWindow(int width, int height, int left = 0, int top = 0);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window_; }
    RECT ClientRect() const;
    // The window's client area as it stands on screen, 4 bytes a pixel (B, G, R, x).
    Pixels Capture() const;
    void PumpMessages() const;

private:
    HWND window_ = nullptr;
};

// How long a wait may take before it counts as a hang: generous, since a busy
// two-core machine is slow, not stuck.
constexpr DWORD kHangBoundMs = 180000;

// Serves this thread's messages until `done` holds; false once `boundMs` has
// passed without it.
bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = kHangBoundMs);

// The window a preview handler draws in, found the way a host finds it
// (IOleWindow); null when it has none.
HWND PreviewWindowOf(IUnknown* handler);

// The preview window's answer to the state message.
LRESULT AskPreviewState(HWND preview, WPARAM question);

// What the window says of itself, for a failed wait's message: its state,
// whether it still decodes, its frames, its last load's result, its visibility.
std::string DescribePreviewState(HWND preview);

// The picture the preview window shows, as a host capturing it gets it
// (WM_PRINTCLIENT into a bitmap of the window's client size).
Pixels PrintedPicture(HWND preview);

// The picture the presenter means to show, drawn off screen into a bitmap of
// `width` x `height` (premultiplied BGRA).
HRESULT RenderedPicture(Quivane::PreviewPresenter& presenter, UINT width, UINT height, Pixels& out);

// For its span, the current user's registry is, in this process only, a key
// of its own ("Software\\Quivane NAME"), empty at first: the view written
// there never reaches a preview another program shows meanwhile from the
// shared prefix.
class PrivateUserRegistry {
public:
    explicit PrivateUserRegistry(const std::wstring& name);
    ~PrivateUserRegistry();
    PrivateUserRegistry(const PrivateUserRegistry&) = delete;
    PrivateUserRegistry& operator=(const PrivateUserRegistry&) = delete;

    // Writes a value under Quivane's key of the private registry.
    static void Set(const wchar_t* name, DWORD type, const void* data, DWORD size);

private:
    std::wstring key_name_;
    Quivane::UniqueRegistryKey key_;
};

// Sets or deletes "AppsUseLightTheme" for the current user, and restores the
// earlier state when it goes out of scope.
class ThemeOverride {
public:
    explicit ThemeOverride(int light); // -1 deletes the value
    ~ThemeOverride();

private:
    bool hadValue_ = false;
    DWORD previous_ = 0;
};

} // namespace QuivaneTest
