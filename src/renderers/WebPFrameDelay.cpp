#include "WebPFrameDelay.h"

#include <algorithm>

namespace Quivane {
namespace {

constexpr std::uint32_t kDefaultDelayMs = 100;
constexpr std::uint32_t kMinimumDelayMs = 10;

// Unsigned values count, and signed 32-bit ones when positive; anything else is 0.
std::uint32_t ReadDuration(IWICMetadataQueryReader* reader, const wchar_t* name) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::uint32_t duration = 0;
    if (SUCCEEDED(reader->GetMetadataByName(name, &value))) {
        switch (value.vt) {
        case VT_UI1: duration = value.bVal; break;
        case VT_UI2: duration = value.uiVal; break;
        case VT_UI4: duration = value.ulVal; break;
        case VT_I4: duration = value.lVal > 0 ? static_cast<std::uint32_t>(value.lVal) : 0; break;
        default: break;
        }
    }
    PropVariantClear(&value);
    return duration;
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
