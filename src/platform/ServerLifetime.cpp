#include "ServerLifetime.h"

namespace Quivane {
namespace {

LONG moduleLocks = 0;

const wchar_t* AddressInThisModule() { return reinterpret_cast<const wchar_t*>(&moduleLocks); }

} // namespace

void LockServerModule() { InterlockedIncrement(&moduleLocks); }

void UnlockServerModule() { InterlockedDecrement(&moduleLocks); }

LONG ServerModuleLocks() { return InterlockedCompareExchange(&moduleLocks, 0, 0); }

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       AddressInThisModule(), &module);
    return module != nullptr ? module : GetModuleHandleW(nullptr);
}

void PinThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, AddressInThisModule(),
                       &module);
}

} // namespace Quivane
