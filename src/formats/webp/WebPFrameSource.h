#pragma once
#include "frames/FrameSource.h"
#include "platform/StopToken.h"

namespace Quivane {

// WebP frames decoded by libwebp and composed on our own canvas; null when out of memory.
FrameSource* CreateWebPFrameSource(const StopToken& stop);

} // namespace Quivane
