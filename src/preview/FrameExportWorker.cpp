#include "FrameExportWorker.h"

#include "FrameExport.h"

#include <atomic>
#include <exception>
#include <mutex>

namespace Quivane {

using Microsoft::WRL::ComPtr;

struct FrameExportWorker::Shared {
    std::mutex lock;
    bool done = false;
    FinishedExport result;
    std::atomic<HWND> notify{nullptr};
};

FrameExportWorker::FrameExportWorker() = default;

FrameExportWorker::~FrameExportWorker() { LetGo(); }

bool FrameExportWorker::Busy() const {
    if (!shared) return false;
    std::lock_guard<std::mutex> guard(shared->lock);
    return !shared->done;
}

HRESULT FrameExportWorker::StartCopy(ComPtr<IWICBitmapSource> frame, HWND notify, UINT doneMessage) {
    return Start(true, std::move(frame), std::wstring(), notify, doneMessage);
}

HRESULT FrameExportWorker::StartSave(ComPtr<IWICBitmapSource> frame, std::wstring path, HWND notify,
                                     UINT doneMessage) {
    return Start(false, std::move(frame), std::move(path), notify, doneMessage);
}

HRESULT FrameExportWorker::Start(bool copy, ComPtr<IWICBitmapSource> frame, std::wstring path, HWND notify,
                                 UINT doneMessage) {
    if (!frame) return E_POINTER;
    if (Busy()) return HRESULT_FROM_WIN32(ERROR_BUSY);
    worker.Join(); // the last one is done
    std::shared_ptr<Shared> made;
    try {
        made = std::make_shared<Shared>();
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    made->notify.store(notify);
    made->result.copy = copy;
    const HRESULT started = worker.Start([made, copy, doneMessage, frame = std::move(frame),
                                          path = std::move(path)]() mutable {
        FinishedExport result;
        result.copy = copy;
        // Our frames are free-threaded; the imaging factory wants COM on this thread.
        const HRESULT initHr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result.hr = initHr;
        if (SUCCEEDED(initHr)) {
            try {
                result.hr = copy ? MakeClipboardDib(frame.Get(), result.dib) : WriteFrameFile(frame.Get(), path);
            } catch (const std::exception&) {
                result.hr = E_OUTOFMEMORY;
            }
            frame.Reset(); // a composed frame goes while COM is still joined
            CoUninitialize();
        }
        {
            std::lock_guard<std::mutex> guard(made->lock);
            made->result = std::move(result);
            made->done = true;
        }
        if (HWND target = made->notify.load()) PostMessageW(target, doneMessage, 0, 0);
    });
    if (FAILED(started)) return started;
    shared = std::move(made);
    return S_OK;
}

bool FrameExportWorker::TakeFinished(FinishedExport& finished) {
    if (!shared) return false;
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        if (!shared->done) return false;
        finished = std::move(shared->result);
    }
    shared.reset();
    worker.Join(); // it has handed its result over: only its last steps are left
    return true;
}

void FrameExportWorker::LetGo() {
    if (shared) shared->notify.store(nullptr);
    if (Busy()) {
        worker.LetGo();
    } else {
        worker.Join(); // it has handed its result over, or never started
    }
    shared.reset(); // the worker holds its own share: a copy's block is freed with it
}

} // namespace Quivane
