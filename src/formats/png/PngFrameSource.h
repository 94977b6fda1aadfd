#pragma once
#include "frames/FrameSource.h"

namespace Quivane {

// PNG and APNG frames decoded and composed by our own decoder; null when out of memory.
FrameSource* CreatePngFrameSource();

} // namespace Quivane
