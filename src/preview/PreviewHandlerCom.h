#pragma once
// The COM object the shell's preview host drives to show one file in the
// reading pane: it keeps the host's site and passes its calls on to the
// preview window and the loader, never letting an exception out.
#include "PreviewLoader.h"
#include "PreviewWindow.h"
#include "platform/ServerLifetime.h"

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>
#include <wrl/client.h>

namespace Quivane {

class PreviewHandlerCom final : public IPreviewHandler,
                          public IInitializeWithStream,
                          public IInitializeWithFile,
                          public IInitializeWithItem,
                          public IObjectWithSite,
                          public IOleWindow,
                          public IPreviewHandlerVisuals,
                          private PreviewWindowOwner {
public:
    PreviewHandlerCom();

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;

    // IInitializeWithStream, IInitializeWithFile, IInitializeWithItem
    IFACEMETHODIMP Initialize(IStream* stream, DWORD mode) override;
    IFACEMETHODIMP Initialize(LPCWSTR path, DWORD mode) override;
    IFACEMETHODIMP Initialize(IShellItem* item, DWORD mode) override;

    // IObjectWithSite
    IFACEMETHODIMP SetSite(IUnknown* site) override;
    IFACEMETHODIMP GetSite(REFIID iid, void** out) override;

    // IOleWindow
    IFACEMETHODIMP GetWindow(HWND* window) override;
    IFACEMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;

    // IPreviewHandlerVisuals
    IFACEMETHODIMP SetBackgroundColor(COLORREF color) override;
    IFACEMETHODIMP SetFont(const LOGFONTW* font) override;
    IFACEMETHODIMP SetTextColor(COLORREF color) override;

    // IPreviewHandler
    IFACEMETHODIMP SetWindow(HWND parent, const RECT* rect) override;
    IFACEMETHODIMP SetRect(const RECT* rect) override;
    IFACEMETHODIMP DoPreview() override;
    IFACEMETHODIMP Unload() override;
    IFACEMETHODIMP SetFocus() override;
    IFACEMETHODIMP QueryFocus(HWND* window) override;
    IFACEMETHODIMP TranslateAccelerator(MSG* message) override;

private:
    ~PreviewHandlerCom();
    PreviewHandlerCom(const PreviewHandlerCom&) = delete;
    PreviewHandlerCom& operator=(const PreviewHandlerCom&) = delete;

    // Unload and destruction, in one order: the windows let go of this
    // object, the loads stop, then the presenter and the windows go.
    void TearDown();
    [[nodiscard]] HRESULT RouteAccelerator(const MSG& message);
    [[nodiscard]] HRESULT InitializeWithItemStream(IShellItem* item);
    // AddRef unless the count has already reached zero (the object is being destroyed).
    IUnknown* TryAddRef() override;
    // From the window procedure: a key the pane does not use, unless the
    // host was asked about this very message already.
    HRESULT OfferKeyToHost(const MSG& key) override;
    [[nodiscard]] HRESULT AskHostFrame(const MSG& key);

    LONG refCount = 1;
    Microsoft::WRL::ComPtr<IUnknown> site;
    Microsoft::WRL::ComPtr<IPreviewHandlerFrame> hostFrame;
    // The key the host's frame last declined through TranslateAccelerator: the
    // host dispatches it to the window next, which must not ask again.
    MSG declinedKey = {};
    PreviewLoader loader; // before the window, which uses it
    PreviewWindow window{*this, loader};
    ServerModuleLock serverLock;
};

// Creates a preview handler and queries it for `iid` (what the class factory calls).
[[nodiscard]] HRESULT CreatePreviewHandler(REFIID iid, void** out);

} // namespace Quivane
