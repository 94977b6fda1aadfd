#include "StallingStream.h"

#include "TestSupport.h"
#include "platform/ComAdopt.h"

#include <algorithm>
#include <atomic>

namespace QuivaneTest {

class StallingStream final : public IStream {
public:
    StallingStream(ComPtr<IStream> inner, std::uint64_t stallFrom, bool failOnceLet = true)
        : inner_(std::move(inner)), stallFrom_(stallFrom), failOnceLet_(failOnceLet),
          released_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        CoCreateFreeThreadedMarshaler(this, &marshaler_);
    }
    ~StallingStream() { CloseHandle(released_); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IMarshal && marshaler_) return marshaler_->QueryInterface(iid, out);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
        ULARGE_INTEGER position{};
        inner_->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
        STATSTG stat = {};
        inner_->Stat(&stat, STATFLAG_NONAME);
        // A read that would give bytes past the offset; one at the end, which gives none, does not wait.
        if (std::min<std::uint64_t>(position.QuadPart + size, stat.cbSize.QuadPart) > stallFrom_.load()) {
            stalled_.store(true);
            WaitForSingleObject(released_, INFINITE);
            if (!failOnceLet_) stalled_.store(false); // a gate: the read goes on
            if (failOnceLet_) {
                // Then it fails, as a file on a share that went away.
                if (read != nullptr) *read = 0;
                return STG_E_READFAULT;
            }
        }
        return inner_->Read(data, size, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return inner_->Seek(move, origin, position);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override { return inner_->Stat(stat, flags); }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

    bool Stalled() const { return stalled_.load(); }
    void Let() { SetEvent(released_); }
    void Hold() {
        ResetEvent(released_);
        stallFrom_.store(0);
    }
    void LetThrough() {
        stallFrom_.store(UINT64_MAX);
        SetEvent(released_);
    }

private:
    LONG references_ = 1;
    ComPtr<IStream> inner_;
    std::atomic<std::uint64_t> stallFrom_;
    bool failOnceLet_;
    HANDLE released_;
    std::atomic<bool> stalled_{false};
    ComPtr<IUnknown> marshaler_;
};

bool StallControl::Stalled() const { return object->Stalled(); }
void StallControl::Release() { object->Let(); }

StallControl MakeStallingStream(const std::vector<std::uint8_t>& bytes, std::uint64_t stallFrom) {
    StallControl control;
    control.object = new StallingStream(StreamFromBytes(bytes), stallFrom);
    Quivane::AdoptReference(control.stream, control.object);
    return control;
}

bool GateControl::Waiting() const { return object->Stalled(); }
void GateControl::Close() { object->Hold(); }
void GateControl::Open() { object->LetThrough(); }

GateControl MakeGatedStream(const std::vector<std::uint8_t>& bytes) {
    GateControl control;
    control.object = new StallingStream(StreamFromBytes(bytes), UINT64_MAX, false);
    Quivane::AdoptReference(control.stream, control.object);
    return control;
}

} // namespace QuivaneTest
