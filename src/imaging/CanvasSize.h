#pragma once
// Whether a canvas, or a row of one, may be made on this machine.
#include <windows.h>

#include <cstdint>

namespace Quivane {

// S_OK when a whole canvas of this size may be made here; E_OUTOFMEMORY when
// it is larger than this machine could give; WINCODEC_ERR_BADIMAGE when empty.
[[nodiscard]] HRESULT CheckCanvasSize(std::uint32_t width, std::uint32_t height);
// S_OK when a picture this wide can be decoded and scaled a row at a time here;
// E_OUTOFMEMORY when even its rows would not fit; WINCODEC_ERR_BADIMAGE when empty.
[[nodiscard]] HRESULT CheckRowSize(std::uint32_t width);

} // namespace Quivane
