// Saving and copying the frame on screen: the slow part goes to a worker;
// the dialog and the clipboard stay on the window's thread.
#include "PreviewWindow.h"

#include "FrameExport.h"

namespace Quivane {

// The menu's and the dialog's loops serve messages, Unload included: the
// frame is our own reference, and a save asked for still completes.
void PreviewWindow::RunFrameCommand(UINT command, IWICBitmapSource* frame, std::uint32_t index) {
    HRESULT hr = S_OK;
    if (command == IDM_SAVE_FRAME) {
        std::wstring chosen;
        hr = AskFrameFileName(window, MakeDefaultFrameFileName(loader.Name(), index), chosen);
        if (SUCCEEDED(hr)) hr = exports.StartSave(frame, std::move(chosen), noticeWindow, WM_FRAME_EXPORTED);
    } else if (command == IDM_COPY_FRAME) {
        hr = noticeWindow != nullptr ? exports.StartCopy(frame, noticeWindow, WM_FRAME_EXPORTED) : E_UNEXPECTED;
    }
    // Nothing is shown for a failure; a beep says the command did not happen.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED)) MessageBeep(MB_ICONWARNING);
}

void PreviewWindow::OnFrameExported() {
    FinishedExport finished;
    if (!exports.TakeFinished(finished)) return;
    HRESULT hr = finished.hr;
    if (finished.copy && SUCCEEDED(hr)) hr = PutDibOnClipboard(window != nullptr ? window : noticeWindow, finished.dib);
    if (FAILED(hr)) MessageBeep(MB_ICONWARNING);
}

} // namespace Quivane
