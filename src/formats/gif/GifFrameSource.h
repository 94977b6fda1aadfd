#pragma once
#include "frames/FrameSource.h"

namespace Quivane {

// GIF frames composed by our own decoder; null when out of memory.
FrameSource* CreateGifFrameSource();

} // namespace Quivane
