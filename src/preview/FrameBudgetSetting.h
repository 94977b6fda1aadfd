#pragma once
#include <cstdint>

namespace Quivane {

// The byte budget for one preview's composited frames: the DWORD value
// "FrameBudgetMB" under the preview handler's class key (the user's, else the
// machine's) when it is there, else the default; never more than a quarter
// of physical memory.
std::uint64_t ReadFrameBudgetSetting();

} // namespace Quivane
