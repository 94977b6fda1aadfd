#pragma once
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <vector>

namespace Quivane {

// Reads a stream from its start to its end and puts its position back where it was.
HRESULT ReadWholeStream(IStream* stream, std::vector<std::uint8_t>& bytes);

} // namespace Quivane
