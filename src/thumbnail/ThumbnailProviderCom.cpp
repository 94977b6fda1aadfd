#include "ThumbnailProviderCom.h"

#include "ThumbnailPicture.h"
#include "platform/FailureErrorInfo.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/SharedBytesStream.h"
#include "platform/StreamMarshal.h"
#include "platform/WorkerThread.h"
#include "formats/FormatTable.h"
#include "frames/FrameSource.h"
#include "formats/FormatSources.h"

#include <shlwapi.h>

#include <exception>
#include <memory>
#include <new>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

// One thumbnail, made on the caller's thread when only our own decoders run,
// else on a worker of its own shared by the caller and the worker: a platform
// decoder that never returns must not hold the shell's thread, so the caller
// may stop waiting and leave the job to the worker, which then frees what it made.
struct ThumbnailJob {
    UINT cx = 0;
    DWORD patienceMs = kThumbnailPatienceMs;
    MarshalledStream marshalled; // the caller's stream, for the worker's apartment
    const FormatRow* format = nullptr; // with `file`, when the caller read the file already
    FileBytes file;
    FileBytes readForward; // the caller's stream, read whole because it could not seek
    HRESULT hr = E_FAIL;
    std::optional<FailurePlace> failure; // where hr began, on the thread that made the bitmap
    UniqueGdiObject bitmap;
};

HRESULT MakeJobBitmap(ThumbnailJob& job, HBITMAP* made, const StopToken& stop) {
    if (job.file) return MakeThumbnailBitmap(*job.format, job.file, job.cx, made, stop);
    ComPtr<IStream> stream;
    RETURN_IF_FAILED(job.marshalled.Unmarshal(stream));
    return MakeThumbnailBitmap(stream.Get(), job.cx, made, &job.readForward, stop);
}

// Makes the job's bitmap; our own decoders give up at the patience by themselves, with StopResult.
HRESULT MakeBeforeDeadline(ThumbnailJob& job) {
    ResetFailureRecord();
    const StopToken stop = StopToken::Within(std::chrono::milliseconds(job.patienceMs));
    HRESULT hr = E_FAIL;
    try {
        HBITMAP made = nullptr;
        hr = MakeJobBitmap(job, &made, stop);
        job.bitmap.Reset(made);
    } catch (const std::exception&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) job.failure = RecordedFailure();
    return hr;
}

void RunThumbnailJob(const std::shared_ptr<ThumbnailJob>& job) {
    const HRESULT initHr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job->hr = initHr;
    if (SUCCEEDED(initHr)) {
        job->hr = MakeBeforeDeadline(*job);
        CoUninitialize();
    }
}

// True when every call on the stream is served by this thread whichever
// thread makes it: an object of this single-threaded apartment that is
// neither a proxy nor free-threaded (both of those answer IMarshal).
bool IsServedByThisThread(IStream* stream) {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    if (FAILED(CoGetApartmentType(&type, &qualifier)) || (type != APTTYPE_STA && type != APTTYPE_MAINSTA)) return false;
    ComPtr<IUnknown> probe;
    if (SUCCEEDED(stream->QueryInterface(__uuidof(IAgileObject), reinterpret_cast<void**>(probe.GetAddressOf())))) return false;
    return FAILED(stream->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(probe.ReleaseAndGetAddressOf())));
}

// Gives the job what it reads: a picture file in memory when this thread
// would serve its reads anyway (read here, each read is a call, not a round
// trip through the apartment), otherwise the stream, marshalled for a worker.
// A stream that cannot seek goes to the worker too: only reading it whole
// tells its format, and a video's bytes may take longer than the patience.
HRESULT PrepareJobInput(IStream* stream, ThumbnailJob& job) {
    if (IsServedByThisThread(stream) && SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr))) {
        const FormatRow* format = nullptr;
        RETURN_IF_FAILED(FindStreamFormat(stream, L"", format));
        if (!format->decodesFromStream) {
            job.format = format;
            return ReadPictureFile(stream, job.file);
        }
    }
    return job.marshalled.Marshal(stream);
}

} // namespace

HRESULT MakeThumbnailWithin(IStream* stream, UINT cx, HBITMAP* out, DWORD patienceMs, FileBytes* readForward) {
    if (stream == nullptr || out == nullptr) return E_POINTER;
    *out = nullptr;
    if (readForward != nullptr) readForward->reset();
    auto job = std::make_shared<ThumbnailJob>();
    job->cx = cx;
    job->patienceMs = patienceMs;
    RETURN_IF_FAILED(PrepareJobInput(stream, *job));
    if (job->file && job->format->ownDecoder) {
        // Nothing here can keep the thread past the patience: no worker needed.
        RETURN_IF_FAILED(MakeBeforeDeadline(*job));
    } else {
        WorkerThread worker;
        RETURN_IF_FAILED(worker.Start([job] { RunThumbnailJob(job); }));
        // The worker stops its own decoding at the patience; a platform call may not, and is let go.
        if (!worker.Wait(patienceMs + 2000)) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
        if (readForward != nullptr) *readForward = job->readForward;
        if (job->failure) AdoptFailure(*job->failure); // the caller's thread says where it failed
        if (FAILED(job->hr)) return job->hr;
    }
    *out = static_cast<HBITMAP>(job->bitmap.Release());
    return *out != nullptr ? S_OK : E_FAIL;
}

HRESULT CreateThumbnailProvider(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto* provider = new (std::nothrow) ThumbnailProviderCom();
    if (provider == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = provider->QueryInterface(iid, out);
    provider->Release(); // a refused interface destroys the new object here
    return hr;
}

IFACEMETHODIMP ThumbnailProviderCom::QueryInterface(REFIID iid, void** out) {
    static const QITAB interfaces[] = {
        {&__uuidof(IThumbnailProvider), static_cast<int>(OFFSETOFCLASS(IThumbnailProvider, ThumbnailProviderCom))},
        {&IID_IInitializeWithStream, static_cast<int>(OFFSETOFCLASS(IInitializeWithStream, ThumbnailProviderCom))},
        {&IID_ISupportErrorInfo, static_cast<int>(OFFSETOFCLASS(ISupportErrorInfo, ThumbnailProviderCom))},
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, out);
}

IFACEMETHODIMP_(ULONG) ThumbnailProviderCom::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

IFACEMETHODIMP_(ULONG) ThumbnailProviderCom::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

IFACEMETHODIMP ThumbnailProviderCom::Initialize(IStream* newStream, DWORD) {
    if (newStream == nullptr) return E_POINTER;
    stream = newStream; // the content decides the format when the thumbnail is made
    return S_OK;
}

IFACEMETHODIMP ThumbnailProviderCom::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) {
    if (bitmap == nullptr || alphaType == nullptr) return E_POINTER;
    *bitmap = nullptr;
    *alphaType = WTSAT_ARGB;
    if (cx == 0) return E_INVALIDARG;
    if (!stream) return E_FAIL;
    try {
        FileBytes readForward;
        const HRESULT hr = MakeThumbnailWithin(stream.Get(), cx, bitmap, kThumbnailPatienceMs, &readForward);
        ComPtr<IStream> kept;
        // The stream could not seek and is spent: another thumbnail reads its bytes.
        if (readForward && SUCCEEDED(CreateSharedBytesStream(readForward, kept.GetAddressOf()))) stream = kept;
        if (FAILED(hr)) PublishFailurePlace(hr);
        return hr;
    } catch (const std::exception&) {
        return E_OUTOFMEMORY; // no exception leaves a COM method
    }
}

IFACEMETHODIMP ThumbnailProviderCom::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, __uuidof(IThumbnailProvider)) ? S_OK : S_FALSE;
}

} // namespace Quivane
