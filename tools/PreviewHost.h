#pragma once
// The host side of a preview: a top-level window, the handler driven through
// its COM interfaces in the shell host's order, and a site that answers for
// the host frame.
#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace QuivaneTool {

class PreviewHost {
public:
    PreviewHost() = default;
    ~PreviewHost();
    PreviewHost(const PreviewHost&) = delete;
    PreviewHost& operator=(const PreviewHost&) = delete;

    // Creates the window (client area width x height), initialises the handler
    // with the file, sites it and gives it the window.
    // The handler comes from the registered class, else from Quivane.dll beside the tool.
    HRESULT Open(const std::wstring& path, int width, int height);
    // DoPreview, then the focus.
    HRESULT Preview();
    // Unload and Release, as the host does when the pane closes.
    void Close();

    HWND HostWindow() const { return hostWindow_; }
    HWND PreviewWindow() const;
    IPreviewHandler* Handler() const { return handler_.Get(); }
    // True until the preview window says it shows its first picture.
    bool IsLoading() const;
    // The frame on screen and the frame count; -1 while nothing is shown.
    long long ShownFrame() const;
    long long FrameCount() const;
    // The load's failure once it has ended with nothing to show; S_OK otherwise
    // (kept after Close, so an interactive run knows it when its window closes).
    HRESULT LoadResult() const;
    // What the preview window shows, asked of the window itself (WM_PRINTCLIENT)
    // and written as a PNG.
    HRESULT SavePicture(const std::wstring& path) const;

    // The host's message loop step: keys go to the handler's accelerator check first.
    void Dispatch(MSG& message);

private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hostWindow_ = nullptr;
    Microsoft::WRL::ComPtr<IPreviewHandler> handler_;
    Microsoft::WRL::ComPtr<IUnknown> site_;
    HRESULT loadResult_ = S_OK;
};

} // namespace QuivaneTool
