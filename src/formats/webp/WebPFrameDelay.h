#pragma once
#include <wincodec.h>

#include <cstdint>

namespace Quivane {

// A WebP frame's display time from its metadata: the first non-zero of
// "/ANMF/Duration", "/anmf/Duration" and "/imgdesc/Delay" in milliseconds,
// 100 without one, and never below 10.
std::uint32_t WebPFrameDelayMs(IWICMetadataQueryReader* reader);

} // namespace Quivane
