#include "FrameBudgetSetting.h"

#include "frames/FrameBudget.h"
#include "platform/OwnedHandles.h"
#include "platform/QuivaneKey.h"
#include "platform/ServerClasses.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace Quivane {

namespace {

bool ReadMegabytes(HKEY root, const std::wstring& keyPath, REGSAM view, DWORD& megabytes) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return false;
    const UniqueRegistryKey key(opened);
    DWORD size = sizeof(megabytes);
    return RegGetValueW(key.Get(), nullptr, L"FrameBudgetMB", RRF_RT_REG_DWORD, nullptr, &megabytes, &size) ==
           ERROR_SUCCESS;
}

// Quivane's own key (the user's, then the machine's, in the one view both
// builds share); then, as before, the preview handler's class key.
DWORD ConfiguredMegabytes() {
    DWORD megabytes = 0;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (ReadMegabytes(root, kQuivaneKey, KEY_WOW64_64KEY, megabytes)) return megabytes;
    }
    wchar_t clsid[40] = {};
    if (StringFromGUID2(CLSID_QuivanePreviewHandler, clsid, 40) > 0) {
        const std::wstring classKey = std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (ReadMegabytes(root, classKey, 0, megabytes)) return megabytes;
        }
    }
    return 0; // not set: the default
}

} // namespace

std::uint64_t ReadFrameBudgetSetting() {
    const DWORD megabytes = ConfiguredMegabytes();
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    const std::uint64_t physical = GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : 0;
    return EffectiveFrameBudget(static_cast<std::uint64_t>(megabytes) << 20, physical);
}

} // namespace Quivane
