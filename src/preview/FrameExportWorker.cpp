#include "FrameExportWorker.h"

#include "FrameExport.h"
#include "platform/ServerLifetime.h"

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
    if (worker.joinable()) worker.join(); // the last one is done
    auto made = std::make_shared<Shared>();
    made->notify.store(notify);
    made->result.copy = copy;
    try {
        worker = std::thread([made, copy, doneMessage, frame = std::move(frame), path = std::move(path)]() mutable {
            ServerModuleLock moduleLock; // the library stays while the worker runs
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
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
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
    if (worker.joinable()) worker.join();
    return true;
}

void FrameExportWorker::LetGo() {
    if (shared) shared->notify.store(nullptr);
    if (!worker.joinable()) return;
    if (!Busy()) {
        worker.join();
    } else {
        // Its code must stay mapped until it returns, after the last lock it holds.
        PinThisModule();
        worker.detach();
    }
    shared.reset(); // the worker holds its own share: a copy's block is freed with it
}

} // namespace Quivane
