#pragma once
// The COM object the shell's preview host drives to show one file in the
// reading pane: it owns the preview window, its presenter and the loads that
// run in the background.
#include "FrameExportWorker.h"
#include "LoadCoordinator.h"
#include "platform/ServerLifetime.h"
#include "presentation/PreviewPresenter.h"
#include "frames/FrameSource.h"
#include "frames/IAnimatedRenderer.h"

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>

namespace Quivane {

struct FormatRow;
constexpr UINT WM_LOAD_COMPLETE = WM_APP + 23;
constexpr UINT WM_FRAME_EXPORTED = WM_APP + 24;
// The context menu's commands, also taken as WM_COMMAND from elsewhere.
constexpr UINT IDM_SAVE_FRAME = 0x5101;
constexpr UINT IDM_COPY_FRAME = 0x5102;
constexpr UINT_PTR TICK_TIMER_ID = 1;
constexpr UINT kTickIntervalMs = 16;
constexpr std::uint64_t kIndicatorRedrawMs = 80; // about 12 redraws a second
// A video's seek that has no still by then fails, and the bar goes back to the still shown.
constexpr std::uint64_t kPositionedLoadBudgetMs = 2000;
extern const wchar_t kPreviewWindowClass[]; // "QuivanePreviewWindow"

struct LoadResult {
    std::unique_ptr<IAnimatedRenderer> renderer;
    HRESULT hr = E_FAIL;
    // The host's stream could not seek and was read whole: later loads (a
    // seek, a reload) read these bytes, since the stream itself is used up.
    FileBytes sourceBytes;
};

struct LoadRequest {
    Microsoft::WRL::ComPtr<IStream> source;
    std::wstring name;
};

// What a handler and its load workers share. Each worker holds it too, so a
// worker let go while stuck in the platform never touches a handler that is gone.
struct LoadChannel {
    LoadCoordinator<LoadResult, LoadRequest> loads;
    // Where workers post WM_LOAD_COMPLETE: the preview window, else the parent.
    // Kept apart so workers read it without touching the window fields.
    std::atomic<HWND> completionTarget{nullptr};
};

class PreviewHandlerCom final : public IPreviewHandler,
                          public IInitializeWithStream,
                          public IInitializeWithFile,
                          public IInitializeWithItem,
                          public IObjectWithSite,
                          public IOleWindow,
                          public IPreviewHandlerVisuals {
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

    // Background loading (the user-interface thread's side).
    void StartLoad(IStream* source, std::wstring name);
    void StartPositionedLoad(std::uint64_t position);
    void PollLoadResult();

    // The preview window's procedure and its commands.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool RunKeyCommand(WPARAM key);

    // For the host tool and tests.
    PreviewPresenter* Presenter() const { return presenter.get(); }
    HWND PreviewWindow() const { return window; }
    bool IsLoaderIdle() const { return !channel->loads.AnyRunning(); }

private:
    ~PreviewHandlerCom();
    PreviewHandlerCom(const PreviewHandlerCom&) = delete;
    PreviewHandlerCom& operator=(const PreviewHandlerCom&) = delete;

    struct LoadJob;
    static void RunLoadJob(std::unique_ptr<LoadJob> job);
    static void RunPositionedLoadJob(std::unique_ptr<LoadJob> job);
    [[nodiscard]] static HRESULT DecodeJob(LoadJob& job, LoadResult& result, IStream* stream, bool& published);
    [[nodiscard]] static HRESULT FeedPictureFrames(LoadJob& job, LoadResult& result, const FormatRow& format,
                                                   const FileBytes& file, bool& published);
    static void FinishJob(LoadJob& job, LoadResult& result);
    static void PostCompletion(LoadChannel& channel);
    void LaunchWorker(std::uint64_t generation, IStream* source, std::wstring name, bool positioned,
                      std::uint64_t position);
    void StoreFailedStart(std::uint64_t generation, HRESULT hr);
    void StartPendingLoad();
    void CancelLoads();
    void UpdateCompletionTarget();
    void StartTimer();

    [[nodiscard]] HRESULT CreatePreviewWindow();
    [[nodiscard]] HRESULT EnsurePresenter(bool& created);
    [[nodiscard]] HRESULT RouteAccelerator(MSG* message);
    void ShowOwnWindow();
    void PositionPreviewWindow();
    RECT GetPreviewClientRect() const;
    void ApplyHostColors();
    void DrawAndValidate();
    void DestroyPreviewWindow();
    void DetachWindows();
    void ForgetDestroyedWindow();
    void TearDown();
    // AddRef unless the count has already reached zero (the object is being destroyed).
    bool TryAddRef();
    void ReleaseWindowPresenter();

    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer();
    LRESULT AnswerStateQuestion(WPARAM question) const;
    void Reload(bool keepFrameVisible);
    void OnMouseWheel(short delta);
    void OnContextMenu(LPARAM lParam);
    void RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index);
    void OnFrameExported();
    HWND NoticeWindow() const;
    void FallbackPaint();
    void FocusWindow();
    void Draw();

    LONG refCount = 1;
    Microsoft::WRL::ComPtr<IStream> source;
    Microsoft::WRL::ComPtr<IUnknown> site;
    Microsoft::WRL::ComPtr<IPreviewHandlerFrame> hostFrame;
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
    std::wstring name;
    std::uint64_t lastTickTime = 0;
    HRESULT loadFailure = S_OK; // the last load's failure when it left nothing to show
    std::uint64_t lastIndicatorDraw = 0;
    std::shared_ptr<LoadChannel> channel;
    FrameExportWorker exports;
    ServerModuleLock serverLock;
};

// Creates a preview handler and queries it for `iid` (what the class factory calls).
[[nodiscard]] HRESULT CreatePreviewHandler(REFIID iid, void** out);

} // namespace Quivane
