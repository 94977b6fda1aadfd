#pragma once
// The DPI a window is shown at, so that drawing laid out in pixels can size
// its controls for the display's scale.
#include <windows.h>

namespace Quivane {

constexpr UINT kDefaultDpi = 96;

// GetDpiForWindow where the system has it (Windows 10 1607 on), the DPI of
// the window's DC otherwise; 96 when neither answers.
UINT WindowDpi(HWND window);

// For host programs, never the server: makes the process aware of each
// display's DPI (per-monitor where the system has it), as Explorer is, so
// that the system neither scales its windows nor reports them at 96 DPI.
void BecomeDpiAwareProcess();

} // namespace Quivane
