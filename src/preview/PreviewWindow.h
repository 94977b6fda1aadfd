#pragma once
// The preview's window in the host's: it owns the presenter that draws into
// it, takes the keyboard, the mouse, the context menu and the timer, shows
// what the loader delivers and answers the state message.
#include "FrameExportWorker.h"
#include "PreviewLoader.h"
#include "ViewCommands.h"
#include "presentation/PreviewPresenter.h"

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <memory>

namespace Quivane {

constexpr UINT WM_FRAME_EXPORTED = WM_APP + 24;
// The context menu's commands, also taken as WM_COMMAND from elsewhere.
constexpr UINT IDM_SAVE_FRAME = 0x5101;
constexpr UINT IDM_COPY_FRAME = 0x5102;
constexpr UINT_PTR TICK_TIMER_ID = 1;
constexpr UINT kTickIntervalMs = 16;
constexpr std::uint64_t kIndicatorRedrawMs = 80; // about 12 redraws a second
extern const wchar_t kPreviewWindowClass[]; // "QuivanePreviewWindow"

// The object the window belongs to. A message may make the host release it,
// so each message holds a reference to it, once it can still be had.
class PreviewWindowOwner {
public:
    // The owner with a reference added, or null once its count has reached
    // zero (it is being destroyed and the message is left alone).
    virtual IUnknown* TryAddRef() = 0;

protected:
    ~PreviewWindowOwner() = default;
};

class PreviewWindow {
public:
    PreviewWindow(PreviewWindowOwner& owner, PreviewLoader& loader);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // The host's window and the area in it (IPreviewHandler::SetWindow).
    [[nodiscard]] HRESULT SetParent(HWND parent, const RECT& rect);
    // A new area in the host's window (IPreviewHandler::SetRect).
    [[nodiscard]] HRESULT SetRect(const RECT& rect);
    // Shows the indicator and loads the loader's source (IPreviewHandler::DoPreview).
    [[nodiscard]] HRESULT Preview();
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    void Focus() const;
    // A key pressed elsewhere that the host passes on: true when it ran as a command.
    bool RunCommandKey(WPARAM key);

    // The window drawn into: our own, or the host's when ours could not be made.
    HWND Handle() const { return window; }
    HWND Parent() const { return parentWindow; }

    // Tearing down, in two steps: first the windows let go of the owner, so a
    // paint or a tick served while the loads stop finds no one; then the
    // presenter and the windows go.
    void Detach();
    void Destroy();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    [[nodiscard]] HRESULT CreatePreviewWindow();
    [[nodiscard]] HRESULT EnsurePresenter(bool& created);
    void ShowOwnWindow();
    void PositionPreviewWindow();
    RECT GetPreviewClientRect() const;
    void ApplyHostColors();
    void DrawAndValidate();
    void DestroyPreviewWindow();
    void ForgetDestroyedWindow();
    void UpdateCompletionTarget();
    void StartTimer();

    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer();
    void PollLoadResult();
    LRESULT AnswerStateQuestion(WPARAM question) const;
    bool RunKeyCommand(WPARAM key);
    void StartPositionedLoad(std::uint64_t position);
    void Reload(bool keepFrameVisible);
    void OnMouseWheel(short delta);
    void OnContextMenu(LPARAM lParam);
    // The view the user chose (PreviewWindowView.cpp).
    void RunViewKey(WPARAM key);
    void RunViewCommand(UINT command);
    void ChangeView(const ViewOptions& changed);
    LRESULT AnswerViewQuestion(WPARAM question) const;
    void RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index);
    void OnFrameExported();
    HWND NoticeWindow() const;
    void FallbackPaint();
    void FocusWindow();
    void Draw();

    PreviewWindowOwner& owner;
    PreviewLoader& loader;
    HWND parentWindow = nullptr;
    HWND window = nullptr;
    bool ownsWindow = false;
    // Without an own child window the presenter draws into the parent; this
    // message-only window then receives the load notices and timer ticks.
    HWND messageWindow = nullptr;
    RECT rect = {};
    bool backgroundColorSet = false;
    COLORREF backgroundColor = 0;
    bool textColorSet = false;
    COLORREF textColor = 0xFFFFFF;
    std::unique_ptr<PreviewPresenter> presenter;
    std::uint64_t lastTickTime = 0;
    HRESULT loadFailure = S_OK; // the last load's failure when it left nothing to show
    std::uint64_t lastIndicatorDraw = 0;
    FrameExportWorker exports;
};

} // namespace Quivane
