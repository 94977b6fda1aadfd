#include "FullReadStream.h"

#include "HResult.h"
#include "StreamBytes.h"

#include <wrl/client.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace Quivane {
namespace {

using Microsoft::WRL::ComPtr;

class FullReadStream final : public IStream {
public:
    explicit FullReadStream(ComPtr<IStream> inner) : inner_(std::move(inner)) {
        ULARGE_INTEGER here = {};
        if (SUCCEEDED(inner_->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &here))) position_ = innerPosition_ = here.QuadPart;
    }

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
        auto* out = static_cast<std::uint8_t*>(buffer);
        ULONG got = TakeAhead(out, wanted);
        HRESULT hr = S_OK;
        if (got < wanted) {
            const ULONG rest = wanted - got;
            ULONG more = 0;
            if (rest >= kReadAheadBytes) {
                hr = ReadInner(out + got, rest, more); // large enough by itself
            } else {
                if (SUCCEEDED(FillAhead())) {
                    more = TakeAhead(out + got, rest);
                } else {
                    // A read ahead that fails (from another apartment, with none of its bytes
                    // handed back) is asked again for only what is wanted, which fails only
                    // when those bytes do.
                    ahead_.clear();
                    hr = ReadInner(out + got, rest, more);
                }
            }
            got += more;
        }
        if (read != nullptr) *read = got;
        if (FAILED(hr)) return hr;
        return got == wanted ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    IFACEMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        if (origin == STREAM_SEEK_END) {
            // Only the inner stream knows where its end is.
            ULARGE_INTEGER reached = {};
            RETURN_IF_FAILED(inner_->Seek(move, origin, &reached));
            position_ = innerPosition_ = reached.QuadPart;
        } else {
            if (origin != STREAM_SEEK_SET && origin != STREAM_SEEK_CUR) return STG_E_INVALIDFUNCTION;
            const LONGLONG base = origin == STREAM_SEEK_SET ? 0 : static_cast<LONGLONG>(position_);
            if (move.QuadPart < -base) return STG_E_INVALIDFUNCTION;
            position_ = static_cast<ULONGLONG>(base + move.QuadPart);
        }
        if (newPosition != nullptr) newPosition->QuadPart = position_;
        return S_OK;
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
            hr = Read(piece, asked, &got);
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
        ComPtr<IStream> clone;
        RETURN_IF_FAILED(CreateFullReadStream(innerClone.Get(), &clone));
        LARGE_INTEGER here;
        here.QuadPart = static_cast<LONGLONG>(position_);
        RETURN_IF_FAILED(clone->Seek(here, STREAM_SEEK_SET, nullptr)); // a clone starts where this stands
        *out = clone.Detach();
        return S_OK;
    }

private:
    ~FullReadStream() = default;

    // Copies what the read-ahead holds from the position on, and moves past it.
    ULONG TakeAhead(std::uint8_t* out, ULONG wanted) {
        if (position_ < aheadStart_ || position_ >= aheadStart_ + ahead_.size()) return 0;
        const std::size_t from = static_cast<std::size_t>(position_ - aheadStart_);
        const ULONG count = static_cast<ULONG>(std::min<std::size_t>(wanted, ahead_.size() - from));
        std::copy_n(ahead_.data() + from, count, out);
        position_ += count;
        return count;
    }

    // The read-ahead from the position on: readers of media files ask for a
    // few kilobytes at a time, and each read of a stream from another
    // apartment is a round trip through that apartment's thread.
    HRESULT FillAhead() {
        try {
            ahead_.resize(kReadAheadBytes);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        aheadStart_ = position_;
        ULONG got = 0;
        const HRESULT hr = ReadInner(ahead_.data(), kReadAheadBytes, got);
        position_ = aheadStart_; // what was read ahead is taken from here
        ahead_.resize(got);
        return hr;
    }

    // Reads from the inner stream at the position, which moves past what came.
    HRESULT ReadInner(std::uint8_t* out, ULONG wanted, ULONG& got) {
        got = 0;
        if (innerPosition_ != position_) {
            LARGE_INTEGER at;
            at.QuadPart = static_cast<LONGLONG>(position_);
            RETURN_IF_FAILED(inner_->Seek(at, STREAM_SEEK_SET, nullptr));
            innerPosition_ = position_;
        }
        const HRESULT hr = ReadFully(inner_.Get(), out, wanted, got);
        position_ += got;
        innerPosition_ = FAILED(hr) ? kUnknownPosition : position_;
        return hr;
    }

    static constexpr ULONG kReadAheadBytes = 256 * 1024;
    static constexpr ULONGLONG kUnknownPosition = ~ULONGLONG{0};

    LONG refCount_ = 1;
    const ComPtr<IStream> inner_;
    ULONGLONG position_ = 0;
    ULONGLONG innerPosition_ = kUnknownPosition; // where the inner stream stands, when known
    std::vector<std::uint8_t> ahead_;
    ULONGLONG aheadStart_ = 0;
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
