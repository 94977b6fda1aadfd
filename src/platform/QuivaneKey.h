#pragma once
// Quivane's own registry key below HKCU or HKLM: its settings, which outlive
// an uninstall, and the record of the handler values registration replaced.
// The 64-bit view holds it for both builds. No Windows header: the
// registration layout that names it is tested natively.

namespace Quivane {

inline constexpr wchar_t kQuivaneKey[] = L"Software\\Quivane";

} // namespace Quivane
