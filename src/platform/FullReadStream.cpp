#include "FullReadStream.h"

#include "HResult.h"
#include "StreamBytes.h"

#include <wrl/client.h>

#include <algorithm>
#include <new>
#include <utility>

namespace Quivane {
namespace {

using Microsoft::WRL::ComPtr;

class FullReadStream final : public IStream {
public:
    explicit FullReadStream(ComPtr<IStream> inner) : inner_(std::move(inner)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
    IFACEMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refCount_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    IFACEMETHODIMP Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        ULONG got = 0;
        const HRESULT hr = ReadFully(inner_.Get(), buffer, wanted, got);
        if (read != nullptr) *read = got;
        if (FAILED(hr)) return hr;
        return got == wanted ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    IFACEMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        return inner_->Seek(move, origin, newPosition);
    }
    IFACEMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read != nullptr) read->QuadPart = 0;
        if (written != nullptr) written->QuadPart = 0;
        if (to == nullptr) return STG_E_INVALIDPOINTER;
        std::uint8_t piece[16 * 1024];
        ULONGLONG readTotal = 0, writtenTotal = 0;
        HRESULT hr = S_OK;
        while (readTotal < count.QuadPart) {
            const ULONG asked = static_cast<ULONG>(std::min<ULONGLONG>(sizeof(piece), count.QuadPart - readTotal));
            ULONG got = 0;
            hr = ReadFully(inner_.Get(), piece, asked, got);
            readTotal += got;
            if (FAILED(hr) || got == 0) break;
            ULONG put = 0;
            hr = to->Write(piece, got, &put);
            writtenTotal += put;
            if (FAILED(hr) || got < asked) break;
            if (put < got) {
                hr = STG_E_MEDIUMFULL;
                break;
            }
        }
        if (read != nullptr) read->QuadPart = readTotal;
        if (written != nullptr) written->QuadPart = writtenTotal;
        return FAILED(hr) ? hr : S_OK;
    }
    IFACEMETHODIMP Commit(DWORD) override { return S_OK; } // nothing is ever written
    IFACEMETHODIMP Revert() override { return S_OK; }
    IFACEMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
        return inner_->LockRegion(offset, count, type);
    }
    IFACEMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
        return inner_->UnlockRegion(offset, count, type);
    }
    IFACEMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = {};
        const HRESULT statHr = inner_->Stat(stat, flags);
        if (SUCCEEDED(statHr) && stat->cbSize.QuadPart > 0) return statHr;
        // Refused, or a size of 0 from a stream that may not know it yet: the end tells.
        if (SUCCEEDED(statHr)) CoTaskMemFree(stat->pwcsName);
        *stat = {};
        ULONGLONG size = 0;
        RETURN_IF_FAILED(StreamSize(inner_.Get(), size));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = size;
        stat->grfMode = STGM_READ;
        return S_OK;
    }
    IFACEMETHODIMP Clone(IStream** out) override {
        if (out == nullptr) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        ComPtr<IStream> innerClone;
        RETURN_IF_FAILED(inner_->Clone(&innerClone));
        if (!innerClone) return E_FAIL;
        return CreateFullReadStream(innerClone.Get(), out);
    }

private:
    ~FullReadStream() = default;

    LONG refCount_ = 1;
    const ComPtr<IStream> inner_;
};

} // namespace

HRESULT CreateFullReadStream(IStream* inner, IStream** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (inner == nullptr) return E_POINTER;
    *out = new (std::nothrow) FullReadStream(inner);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT StreamSize(IStream* stream, ULONGLONG& size) {
    size = 0;
    if (stream == nullptr) return E_POINTER;
    STATSTG stat = {};
    const HRESULT statHr = stream->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(statHr)) {
        CoTaskMemFree(stat.pwcsName);
        size = stat.cbSize.QuadPart;
        if (size > 0) return S_OK;
    }
    ULARGE_INTEGER here = {}, end = {};
    if (FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &here)) ||
        FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_END, &end))) {
        return FAILED(statHr) ? statHr : S_OK; // a stated 0 stands
    }
    LARGE_INTEGER back;
    back.QuadPart = static_cast<LONGLONG>(here.QuadPart);
    RETURN_IF_FAILED(stream->Seek(back, STREAM_SEEK_SET, nullptr));
    size = end.QuadPart;
    return S_OK;
}

} // namespace Quivane
