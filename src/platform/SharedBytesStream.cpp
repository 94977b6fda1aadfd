#include "SharedBytesStream.h"

#include <wrl/client.h>

#include <algorithm>
#include <new>
#include <utility>

namespace Quivane {
namespace {

class SharedBytesStream final : public IStream {
public:
    SharedBytesStream(std::shared_ptr<const std::vector<std::uint8_t>> bytes, std::uint64_t position)
        : bytes_(std::move(bytes)), position_(position) {
        // Any thread may read it directly: the bytes never change and the position is guarded.
        CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), marshaler_.GetAddressOf());
    }

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        if (iid == IID_IMarshal && marshaler_) return marshaler_->QueryInterface(iid, out);
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
        const Guard guard(lock_);
        const std::uint64_t size = bytes_->size();
        const ULONG count = position_ >= size ? 0 : static_cast<ULONG>(std::min<std::uint64_t>(wanted, size - position_));
        if (count > 0) std::copy_n(bytes_->data() + position_, count, static_cast<std::uint8_t*>(buffer));
        position_ += count;
        if (read != nullptr) *read = count;
        return count == wanted ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    IFACEMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        const Guard guard(lock_);
        std::int64_t base = 0;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(position_); break;
        case STREAM_SEEK_END: base = static_cast<std::int64_t>(bytes_->size()); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        // Sizes here stay far below 2^62: with the move bounded first, the sum cannot overflow.
        if (move.QuadPart > (1ll << 62)) return STG_E_INVALIDFUNCTION;
        const std::int64_t target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<std::uint64_t>(target);
        if (newPosition != nullptr) newPosition->QuadPart = position_;
        return S_OK;
    }
    IFACEMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read != nullptr) read->QuadPart = 0;
        if (written != nullptr) written->QuadPart = 0;
        if (to == nullptr) return STG_E_INVALIDPOINTER;
        const Guard guard(lock_);
        const std::uint64_t size = bytes_->size();
        std::uint64_t left = position_ >= size ? 0 : std::min<std::uint64_t>(count.QuadPart, size - position_);
        std::uint64_t done = 0;
        HRESULT hr = S_OK;
        while (left > 0 && SUCCEEDED(hr)) {
            const ULONG piece = static_cast<ULONG>(std::min<std::uint64_t>(left, 1u << 30));
            ULONG put = 0;
            hr = to->Write(bytes_->data() + position_, piece, &put);
            position_ += put;
            done += put;
            left = put == piece ? left - piece : 0;
        }
        if (read != nullptr) read->QuadPart = done;
        if (written != nullptr) written->QuadPart = done;
        return hr;
    }
    IFACEMETHODIMP Commit(DWORD) override { return S_OK; } // nothing is ever written
    IFACEMETHODIMP Revert() override { return S_OK; }
    IFACEMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    IFACEMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    IFACEMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = {};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_->size();
        stat->grfMode = STGM_READ;
        return S_OK;
    }
    IFACEMETHODIMP Clone(IStream** out) override {
        if (out == nullptr) return STG_E_INVALIDPOINTER;
        const Guard guard(lock_);
        *out = new (std::nothrow) SharedBytesStream(bytes_, position_);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    // Holds the position's lock for a scope.
    class Guard {
    public:
        explicit Guard(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
        ~Guard() { ReleaseSRWLockExclusive(&lock_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        SRWLOCK& lock_;
    };

    ~SharedBytesStream() = default;

    LONG refCount_ = 1;
    SRWLOCK lock_ = SRWLOCK_INIT;
    Microsoft::WRL::ComPtr<IUnknown> marshaler_;
    const std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    std::uint64_t position_;
};

} // namespace

HRESULT CreateSharedBytesStream(std::shared_ptr<const std::vector<std::uint8_t>> bytes, IStream** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!bytes) return E_POINTER;
    *out = new (std::nothrow) SharedBytesStream(std::move(bytes), 0);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

} // namespace Quivane
