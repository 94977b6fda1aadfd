#pragma once
// Owners for what the platform hands out to be released by hand: each frees
// its handle on every way out, and gives it up only when asked.
#include <windows.h>
#include <propidl.h>

#include <utility>

namespace Quivane {

template <typename Handle, typename Traits>
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(Handle handle) : handle_(handle) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Empty(); }
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) {
        if (handle_ != Traits::Empty()) Traits::Free(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static void Free(HANDLE handle) { CloseHandle(handle); }
};
struct GdiObjectTraits {
    static HGDIOBJ Empty() { return nullptr; }
    static void Free(HGDIOBJ object) { DeleteObject(object); }
};
struct GlobalMemoryTraits {
    static HGLOBAL Empty() { return nullptr; }
    static void Free(HGLOBAL memory) { GlobalFree(memory); }
};
struct RegistryKeyTraits {
    static HKEY Empty() { return nullptr; }
    static void Free(HKEY key) { RegCloseKey(key); }
};
struct MenuTraits {
    static HMENU Empty() { return nullptr; }
    static void Free(HMENU menu) { DestroyMenu(menu); }
};

using UniqueHandle = OwnedHandle<HANDLE, KernelHandleTraits>;
using UniqueGdiObject = OwnedHandle<HGDIOBJ, GdiObjectTraits>;
using UniqueRegistryKey = OwnedHandle<HKEY, RegistryKeyTraits>;
using UniqueGlobalMemory = OwnedHandle<HGLOBAL, GlobalMemoryTraits>;
using UniqueMenu = OwnedHandle<HMENU, MenuTraits>;

// A PROPVARIANT cleared on every way out.
class ScopedPropVariant {
public:
    ScopedPropVariant() { PropVariantInit(&value_); }
    ~ScopedPropVariant() { PropVariantClear(&value_); }
    ScopedPropVariant(const ScopedPropVariant&) = delete;
    ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;

    PROPVARIANT* Address() { return &value_; }
    PROPVARIANT& Get() { return value_; }
    const PROPVARIANT& Get() const { return value_; }

private:
    PROPVARIANT value_;
};

} // namespace Quivane
