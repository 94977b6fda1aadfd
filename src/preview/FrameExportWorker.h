#pragma once
// Saving or copying a frame runs its pixel work (composing a huge canvas's
// frame again, converting, encoding, writing the file) on a worker of its
// own, so that the window's thread goes on serving its user. The save dialog
// and the clipboard stay on the window's thread: the worker hands a copy's
// block back through a posted message.
#include "platform/OwnedHandles.h"
#include "platform/WorkerThread.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <memory>
#include <string>

namespace Quivane {

struct FinishedExport {
    bool copy = false;
    HRESULT hr = E_FAIL;
    UniqueGlobalMemory dib; // a copy's block, for the clipboard
};

class FrameExportWorker {
public:
    FrameExportWorker();
    ~FrameExportWorker();
    FrameExportWorker(const FrameExportWorker&) = delete;
    FrameExportWorker& operator=(const FrameExportWorker&) = delete;

    // One export at a time: another is refused while one runs.
    bool Busy() const;
    // Each posts `doneMessage` to `notify` once finished.
    [[nodiscard]] HRESULT StartCopy(Microsoft::WRL::ComPtr<IWICBitmapSource> frame, HWND notify, UINT doneMessage);
    [[nodiscard]] HRESULT StartSave(Microsoft::WRL::ComPtr<IWICBitmapSource> frame, std::wstring path, HWND notify,
                                    UINT doneMessage);
    // The finished export, once; false while it runs or when there is none.
    bool TakeFinished(FinishedExport& finished);
    // Unload: a running export is let go. A save still completes; a copy's
    // pixels are dropped, there being no window to put them on the clipboard.
    void LetGo();

private:
    struct Shared;
    [[nodiscard]] HRESULT Start(bool copy, Microsoft::WRL::ComPtr<IWICBitmapSource> frame, std::wstring path,
                                HWND notify, UINT doneMessage);

    std::shared_ptr<Shared> shared;
    WorkerThread worker;
};

} // namespace Quivane
