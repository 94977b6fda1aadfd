#pragma once
#include "frames/FrameSource.h"
#include "platform/StopToken.h"

namespace Quivane {

// PNG and APNG frames decoded and composed by our own decoder; null when out of memory.
FrameSource* CreatePngFrameSource(const StopToken& stop);

} // namespace Quivane
