#pragma once
#include "IAnimatedRenderer.h"

#include <string>

namespace Quivane {

// A new renderer for the file's type, or null when the name has no known suffix.
// The caller owns the result.
IAnimatedRenderer* CreateRendererForPath(const std::wstring& name);

// "preview.gif", "preview.webp", "preview.png", "preview.mp4" or "preview.wmv"
// from the stream's first bytes; the stream is left at its start.
std::wstring SyntheticNameFromStream(IStream* stream);

} // namespace Quivane
