#pragma once
#include "frames/FrameSource.h"
#include "frames/StopToken.h"

namespace Quivane {

// WebP frames through the platform's imaging codec; null when out of memory.
FrameSource* CreateWebPFrameSource(const StopToken& stop);

} // namespace Quivane
