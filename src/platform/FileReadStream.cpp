#include "FileReadStream.h"

#include "ComAdopt.h"
#include "HResult.h"
#include "OwnedHandles.h"

#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace Quivane {
namespace {

using Microsoft::WRL::ComPtr;

// What clones share: the open file and its name.
struct OpenFile {
    UniqueHandle handle;
    std::wstring path;
};

class FileReadStream final : public IStream {
public:
    FileReadStream(std::shared_ptr<const OpenFile> file, ULONGLONG position) : file_(std::move(file)), position_(position) {}

    // Free-threaded: marshalled to another thread, the stream is this object itself.
    HRESULT Init() { return CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), &marshaler_); }

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
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
    IFACEMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
    IFACEMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refCount_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    IFACEMETHODIMP Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        // Read at the stream's own position: clones share the file, not a position.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(position_);
        at.OffsetHigh = static_cast<DWORD>(position_ >> 32);
        DWORD got = 0;
        if (!ReadFile(file_->handle.Get(), buffer, wanted, &got, &at)) {
            const DWORD error = GetLastError();
            if (error != ERROR_HANDLE_EOF) return HRESULT_FROM_WIN32(error);
            got = 0;
        }
        position_ += got;
        if (read != nullptr) *read = got;
        return got == wanted ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    IFACEMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::lock_guard<std::mutex> lock(mutex_);
        LONGLONG base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<LONGLONG>(position_);
        } else if (origin == STREAM_SEEK_END) {
            LARGE_INTEGER size = {};
            if (!GetFileSizeEx(file_->handle.Get(), &size)) return HResultFromLastError();
            base = size.QuadPart;
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        if (move.QuadPart < -base) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(base + move.QuadPart);
        if (newPosition != nullptr) newPosition->QuadPart = position_;
        return S_OK;
    }
    IFACEMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read != nullptr) read->QuadPart = 0;
        if (written != nullptr) written->QuadPart = 0;
        if (to == nullptr) return STG_E_INVALIDPOINTER;
        std::uint8_t piece[64 * 1024];
        ULONGLONG readTotal = 0, writtenTotal = 0;
        HRESULT hr = S_OK;
        while (readTotal < count.QuadPart) {
            ULONG got = 0;
            hr = Read(piece, static_cast<ULONG>(std::min<ULONGLONG>(sizeof(piece), count.QuadPart - readTotal)), &got);
            readTotal += got;
            if (FAILED(hr) || got == 0) break;
            ULONG put = 0;
            hr = to->Write(piece, got, &put);
            writtenTotal += put;
            if (FAILED(hr)) break;
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
    IFACEMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    IFACEMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    IFACEMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = {};
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(file_->handle.Get(), &size)) return HResultFromLastError();
        if ((flags & STATFLAG_NONAME) == 0) {
            const std::size_t bytes = (file_->path.size() + 1) * sizeof(wchar_t);
            stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (stat->pwcsName == nullptr) return E_OUTOFMEMORY;
            std::wmemcpy(stat->pwcsName, file_->path.c_str(), file_->path.size() + 1);
        }
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        stat->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }
    IFACEMETHODIMP Clone(IStream** out) override {
        if (out == nullptr) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        ULONGLONG position = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            position = position_;
        }
        ComPtr<FileReadStream> clone;
        AdoptReference(clone, new (std::nothrow) FileReadStream(file_, position));
        if (!clone) return E_OUTOFMEMORY;
        RETURN_IF_FAILED(clone->Init());
        *out = clone.Detach();
        return S_OK;
    }

private:
    ~FileReadStream() = default;

    LONG refCount_ = 1;
    const std::shared_ptr<const OpenFile> file_;
    std::mutex mutex_;
    ULONGLONG position_;
    ComPtr<IUnknown> marshaler_;
};

} // namespace

HRESULT CreateFileReadStream(const wchar_t* path, IStream** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (path == nullptr) return E_INVALIDARG;
    auto file = std::make_shared<OpenFile>();
    file->path = path;
    const HANDLE opened = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return HResultFromLastError();
    file->handle.Reset(opened);
    ComPtr<FileReadStream> stream;
    AdoptReference(stream, new (std::nothrow) FileReadStream(std::move(file), 0));
    if (!stream) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(stream->Init());
    *out = stream.Detach();
    return S_OK;
}

} // namespace Quivane
