#pragma once
#include <cstdint>

namespace Quivane {

// The byte budget for one preview's composited frames: the DWORD value
// "FrameBudgetMB" under Software\Quivane (the user's, else the machine's),
// else where it used to be, under the preview handler's class key; else the
// default. Never more than a quarter of physical memory.
std::uint64_t ReadFrameBudgetSetting();

} // namespace Quivane
