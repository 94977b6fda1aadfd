#pragma once
#include "frames/FrameSource.h"

namespace Quivane {

// WebP frames through the platform's imaging codec; null when out of memory.
FrameSource* CreateWebPFrameSource();

} // namespace Quivane
