#include "Theme.h"

#include "ColorRules.h"

namespace Quivane {

bool IsLightTheme() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                     L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS && value != 0;
}

COLORREF ChooseBackgroundColor(bool hostColorSet, COLORREF hostColor) {
    return BackgroundColorFor(IsLightTheme(), hostColorSet, hostColor);
}

} // namespace Quivane
