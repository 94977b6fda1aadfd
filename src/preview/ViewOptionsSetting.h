#pragma once
// The view the user chose, remembered per user as DWORD values under
// Software\Quivane: read when a preview window starts, written when the user
// changes one.
#include "presentation/ViewOptions.h"

#include <windows.h>

namespace Quivane {

inline constexpr wchar_t kInfoLineValue[] = L"ShowInformation";            // 0 or 1
inline constexpr wchar_t kSpeedPercentValue[] = L"PlaybackSpeedPercent";   // one of kPlaybackSpeedsPercent
inline constexpr wchar_t kCheckerboardValue[] = L"TransparencyCheckerboard"; // 0 or 1
inline constexpr wchar_t kPixelExactValue[] = L"PixelExactScaling";        // 0 or 1
inline constexpr wchar_t kAutoPlayVideosValue[] = L"PlayVideosWhenShown";     // 0 or 1

// A value missing, of another type or out of range leaves its default.
ViewOptions ReadViewOptionsSetting();

// Writes the values that differ between `before` and `after` only, so a
// choice made meanwhile in another preview window is not undone.
[[nodiscard]] HRESULT RememberViewOptionChanges(const ViewOptions& before, const ViewOptions& after);

} // namespace Quivane
