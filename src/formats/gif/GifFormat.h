#pragma once
// GIF's row of the format table and its signature, which the block walk reads too.
#include "formats/FormatRow.h"

namespace Quivane {

// "GIF87a" or "GIF89a": the two versions the format defines.
bool IsGifSignature(const std::uint8_t* bytes, std::size_t count);

FormatRow GifFormat();

} // namespace Quivane
