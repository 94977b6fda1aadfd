#pragma once
// The video containers' rows of the format table: each is decoded by the
// platform's media reader straight from its stream.
#include "formats/FormatRow.h"

#include <vector>

namespace Quivane {

std::vector<FormatRow> VideoFormats();

} // namespace Quivane
