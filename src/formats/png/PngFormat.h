#pragma once
// PNG's (and APNG's) row of the format table.
#include "formats/FormatRow.h"

namespace Quivane {

bool IsPngSignature(const std::uint8_t* bytes, std::size_t count);

FormatRow PngFormat();

} // namespace Quivane
