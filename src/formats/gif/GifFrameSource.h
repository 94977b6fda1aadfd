#pragma once
#include "frames/FrameSource.h"
#include "platform/StopToken.h"

namespace Quivane {

// GIF frames composed by our own decoder; null when out of memory.
FrameSource* CreateGifFrameSource(const StopToken& stop);

} // namespace Quivane
