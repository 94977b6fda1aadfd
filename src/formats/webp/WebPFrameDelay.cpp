#include "WebPFrameDelay.h"

#include "platform/OwnedHandles.h"

#include <algorithm>

namespace Quivane {
namespace {

constexpr std::uint32_t kDefaultDelayMs = 100;
constexpr std::uint32_t kMinimumDelayMs = 10;

// Unsigned values count, and signed 32-bit ones when positive; anything else is 0.
std::uint32_t ReadDuration(IWICMetadataQueryReader* reader, const wchar_t* name) {
    ScopedPropVariant value;
    if (FAILED(reader->GetMetadataByName(name, value.Address()))) return 0;
    const PROPVARIANT& read = value.Get();
    switch (read.vt) {
    case VT_UI1: return read.bVal;
    case VT_UI2: return read.uiVal;
    case VT_UI4: return read.ulVal;
    case VT_I4: return read.lVal > 0 ? static_cast<std::uint32_t>(read.lVal) : 0;
    default: return 0;
    }
}

} // namespace

std::uint32_t WebPFrameDelayMs(IWICMetadataQueryReader* reader) {
    if (reader == nullptr) return kDefaultDelayMs;
    for (const wchar_t* name : {L"/ANMF/Duration", L"/anmf/Duration", L"/imgdesc/Delay"}) {
        const std::uint32_t duration = ReadDuration(reader, name);
        if (duration != 0) return std::max(duration, kMinimumDelayMs);
    }
    return kDefaultDelayMs;
}

} // namespace Quivane
