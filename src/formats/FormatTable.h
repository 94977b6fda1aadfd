#pragma once
// Every format the system knows, in the order registration writes them, and
// the choice of a file's format (by its first bytes, then by its name).
// Everything that chooses by format reads this table.
#include "FormatRow.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Quivane {

const std::vector<FormatRow>& Formats();

// The format whose signature opens these bytes, or null.
const FormatRow* FormatForHeader(const std::uint8_t* bytes, std::size_t count);
// The format whose extension ends the name (any case), or null.
const FormatRow* FormatForName(std::wstring_view name);
// The content decides; the name only when the first bytes are not recognised
// (files are often misnamed, and some containers have no signature we sniff).
const FormatRow* ChooseFormat(std::wstring_view name, const std::uint8_t* bytes, std::size_t count);

} // namespace Quivane
