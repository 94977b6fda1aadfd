#pragma once
// The picture of a thumbnail: the frame it shows, decoded and scaled.
#include <windows.h>
#include <objidl.h>

namespace Quivane {

// Decodes only what the thumbnail shows (frames up to the middle one, or a
// video's still) and scales it into a new top-down 32-bit DIB section of the
// thumbnail's size, alpha kept. The stream is read from its start.
[[nodiscard]] HRESULT MakeThumbnailBitmap(IStream* stream, UINT cx, HBITMAP* bitmap);

} // namespace Quivane
