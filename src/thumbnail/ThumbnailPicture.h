#pragma once
// The picture of a thumbnail: the frame it shows, decoded and scaled.
#include "frames/FrameSource.h"

#include <windows.h>
#include <objidl.h>

namespace Quivane {

struct FormatRow;

// Decodes only what the thumbnail shows (frames up to the middle one, or a
// video's still) and scales it into a new top-down 32-bit DIB section of the
// thumbnail's size, alpha kept. The stream is read from its start; one that
// cannot seek is read whole, forward, and its bytes go to `readForward` when
// given (the stream itself is spent). Decoding gives up once `stop` says so.
[[nodiscard]] HRESULT MakeThumbnailBitmap(IStream* stream, UINT cx, HBITMAP* bitmap, FileBytes* readForward = nullptr,
                                          const StopToken& stop = {});
// The same for a picture file already in memory, of a format already known.
[[nodiscard]] HRESULT MakeThumbnailBitmap(const FormatRow& format, const FileBytes& file, UINT cx, HBITMAP* bitmap,
                                          const StopToken& stop = {});

// A picture file read whole from the stream's start, in large pieces, until `stop` says so.
[[nodiscard]] HRESULT ReadPictureFile(IStream* stream, FileBytes& file, const StopToken& stop = {});

} // namespace Quivane
