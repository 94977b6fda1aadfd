#include "FrameBudgetSetting.h"

#include "com/ServerClasses.h"
#include "renderers/FrameBudget.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace Quivane {

std::uint64_t ReadFrameBudgetSetting() {
    wchar_t clsid[40] = {};
    DWORD megabytes = 0;
    if (StringFromGUID2(CLSID_QuivanePreviewHandler, clsid, 40) > 0) {
        const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
        // The user's own setting first, then the machine's.
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DWORD size = sizeof(megabytes);
            if (RegGetValueW(root, key.c_str(), L"FrameBudgetMB", RRF_RT_REG_DWORD, nullptr, &megabytes, &size) ==
                ERROR_SUCCESS) {
                break;
            }
            megabytes = 0; // not set here
        }
    }
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    const std::uint64_t physical = GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : 0;
    return EffectiveFrameBudget(static_cast<std::uint64_t>(megabytes) << 20, physical);
}

} // namespace Quivane
