#pragma once
// WebP's row of the format table.
#include "formats/FormatRow.h"

namespace Quivane {

bool IsWebPSignature(const std::uint8_t* bytes, std::size_t count);

FormatRow WebPFormat();

} // namespace Quivane
