#pragma once
// The preview's window in the host's: it owns the presenter that draws into
// it, takes the keyboard, the mouse, the context menu and the timer, shows
// what the loader delivers and answers the state message.
#include "FrameExportWorker.h"
#include "PreviewLoader.h"
#include "VideoPlayer.h"
#include "ViewCommands.h"
#include "presentation/PreviewPresenter.h"

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Quivane {

constexpr UINT WM_FRAME_EXPORTED = WM_APP + 24;
// The context menu's commands, also taken as WM_COMMAND from elsewhere.
constexpr UINT IDM_SAVE_FRAME = 0x5101;
constexpr UINT IDM_COPY_FRAME = 0x5102;
constexpr UINT_PTR TICK_TIMER_ID = 1;
constexpr UINT kTickIntervalMs = 16;
constexpr std::uint64_t kIndicatorRedrawMs = 80; // about 12 redraws a second
// How long teardown waits for the worker of a video played before letting it go.
constexpr DWORD kPlayerPatienceMs = 2000;
extern const wchar_t kPreviewWindowClass[]; // "QuivanePreviewWindow"

// The object the window belongs to. A message may make the host release it,
// so each message holds a reference to it, once it can still be had.
class PreviewWindowOwner {
public:
    // The owner with a reference added, or null once its count has reached
    // zero (it is being destroyed and the message is left alone).
    virtual IUnknown* TryAddRef() = 0;
    // A key the pane does not act on, offered to the host: S_OK when the host
    // took it, S_FALSE (or its failure) when the window should go on with it.
    virtual HRESULT OfferKeyToHost(const MSG& key) = 0;

protected:
    ~PreviewWindowOwner() = default;
};

// The host's look for the pane (IPreviewHandlerVisuals), kept across windows.
struct HostLook {
    bool backgroundSet = false;
    COLORREF background = 0;
    bool textSet = false;
    COLORREF text = 0xFFFFFF;
    std::wstring fontFace; // empty: the system's message font
    LONG fontHeight = 0;
};

class PreviewWindow {
public:
    PreviewWindow(PreviewWindowOwner& owner, PreviewLoader& loader);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // The host's window and the area in it (IPreviewHandler::SetWindow): a
    // new parent takes the pane along.
    [[nodiscard]] HRESULT SetParent(HWND parent, const RECT& rect);
    // A new area in the host's window (IPreviewHandler::SetRect).
    [[nodiscard]] HRESULT SetRect(const RECT& rect);
    // Shows the indicator and loads the loader's source (IPreviewHandler::DoPreview).
    [[nodiscard]] HRESULT Preview();
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    void SetFont(const LOGFONTW& font);
    [[nodiscard]] HRESULT Focus() const;

    // Whether the pane acts on this key itself: its command keys, without Ctrl or Alt.
    static bool ActsOnKey(const MSG& key);
    // A key pressed elsewhere that the host passes on: true when it ran as a command.
    bool RunCommandKey(const MSG& key);

    // The window drawn into: our own, or the host's when ours could not be made.
    HWND Handle() const { return window; }
    HWND Parent() const { return parentWindow; }
    bool OwnsWindow() const { return window != nullptr && window == noticeWindow; }

    // Tearing down, in two steps: first the windows let go of the owner, so a
    // paint or a tick served while the loads stop finds no one; then the
    // presenter and the windows go.
    void Detach();
    void Destroy();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The windows (PreviewWindowHandles.cpp).
    [[nodiscard]] HRESULT CreatePreviewWindow();
    void UseHostWindow();
    [[nodiscard]] HRESULT MoveToParent(HWND parent);
    void PositionPreviewWindow();
    void ShowOwnWindow();
    RECT ClientArea() const;
    void StartTimer();
    void DestroyPreviewWindow();
    void ForgetDestroyedWindow();

    [[nodiscard]] HRESULT EnsurePresenter(bool& created);
    void ApplyHostLook();
    // Draws the picture now; our own window's paint then has nothing left to do.
    void Redraw();

    // Messages, by concern; each returns whether it took the message.
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnPaintMessage(UINT message, WPARAM wParam, LRESULT& result);
    bool OnInputMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnTimerMessage(UINT message);
    bool OnCommandMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void FallbackPaint();
    void FocusWindow();

    // Loads and ticks (PreviewWindowLoads.cpp).
    void OnTimer();
    void PollLoadResult();
    void StartPositionedLoad(std::uint64_t position);
    void Reload(bool keepFrameVisible);

    // A video played (PreviewWindowPlayback.cpp).
    void ToggleVideoPlay();
    void StartPlaying();
    // Takes the frame due; true when the picture changed.
    bool PlayVideoTick(std::uint64_t now);
    void StopPlaying();

    // Input (PreviewWindowInput.cpp).
    bool OnKey(const MSG& key);
    bool RunKeyCommand(WPARAM key);
    void OnMouseWheel(short delta);
    void OnContextMenu(LPARAM lParam);

    // The view the user chose (PreviewWindowView.cpp).
    void RunViewKey(WPARAM key);
    void RunViewCommand(UINT command);
    void ChangeView(const ViewOptions& changed);

    // Saving and copying (PreviewWindowCommands.cpp).
    void RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index);
    void OnFrameExported();

    PreviewWindowOwner& owner;
    PreviewLoader& loader;
    HWND parentWindow = nullptr;
    HWND window = nullptr;
    // Our own window that takes the load notices, the ticks and the state
    // message: the preview window, or a message-only window while drawing into
    // the host's.
    HWND noticeWindow = nullptr;
    RECT rect = {};
    HostLook look;
    std::unique_ptr<PreviewPresenter> presenter;
    std::uint64_t lastTickTime = 0;
    HRESULT loadFailure = S_OK; // the last load's failure when it left nothing to show
    std::uint64_t lastIndicatorDraw = 0;
    FrameExportWorker exports;
    VideoPlayer player;
};

} // namespace Quivane
