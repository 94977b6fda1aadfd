#pragma once
// Videos through the platform's media reader: one representative still (or
// the still at a position) of a file decoded straight from its stream.
#include "MediaBoxWalk.h"
#include "frames/FrameSource.h"
#include "platform/StopToken.h"

#include <windows.h>
#include <objidl.h>

namespace Quivane {

// A video file that is damaged: a container size the platform's parser must
// not be trusted with, or none of the video's data in the file (cut before it).
inline const HRESULT kDamagedVideoFile = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
// A video whose pictures no decoder on this system can turn into pixels.
inline const HRESULT kVideoCodecMissing = static_cast<HRESULT>(0xC00D5212L); // MF_E_TOPO_CODEC_NOT_FOUND

// The outermost structure of a video file (and, for MP4 and QuickTime, the
// video track's sample tables), checked before the platform's parser sees
// it: a file that would crash or stall the parser fails with
// kDamagedVideoFile. `reach`, when given, is what the tables said.
[[nodiscard]] HRESULT CheckVideoContainer(IStream* stream, VideoSampleReach* reach = nullptr);

// A video's still through the platform's media reader; null when out of memory.
FrameSource* CreateVideoFrameSource(const StopToken& stop);

} // namespace Quivane
