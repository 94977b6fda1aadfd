#include "ViewOptionsSetting.h"

#include "platform/HResult.h"
#include "platform/OwnedHandles.h"
#include "platform/QuivaneKey.h"

#include <optional>

namespace Quivane {

namespace {

// The same view of the key both builds read their other settings from.
constexpr REGSAM kSharedView = KEY_WOW64_64KEY;

std::optional<DWORD> ReadDword(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void ReadFlag(HKEY key, const wchar_t* name, bool& flag) {
    const std::optional<DWORD> value = ReadDword(key, name);
    if (value && (*value == 0 || *value == 1)) flag = *value == 1;
}

void ReadSpeed(HKEY key, std::uint32_t& speedStep) {
    const std::optional<DWORD> value = ReadDword(key, kSpeedPercentValue);
    if (!value) return;
    for (std::uint32_t step = 0; step < kPlaybackSpeedCount; ++step) {
        if (kPlaybackSpeedsPercent[step] == *value) speedStep = step;
    }
}

HRESULT WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (status != ERROR_SUCCESS) RETURN_FAILURE(HRESULT_FROM_WIN32(status));
    return S_OK;
}

} // namespace

ViewOptions ReadViewOptionsSetting() {
    ViewOptions options;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kQuivaneKey, 0, KEY_QUERY_VALUE | kSharedView, &opened) != ERROR_SUCCESS) {
        return options; // nothing chosen yet
    }
    const UniqueRegistryKey key(opened);
    ReadFlag(key.Get(), kInfoLineValue, options.infoLine);
    ReadSpeed(key.Get(), options.speedStep);
    ReadFlag(key.Get(), kCheckerboardValue, options.checkerboard);
    ReadFlag(key.Get(), kPixelExactValue, options.pixelExact);
    ReadFlag(key.Get(), kAutoPlayVideosValue, options.autoPlayVideos);
    return options;
}

HRESULT RememberViewOptionChanges(const ViewOptions& before, const ViewOptions& after) {
    if (before == after) return S_OK;
    HKEY created = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kQuivaneKey, 0, nullptr, 0, KEY_SET_VALUE | kSharedView,
                                           nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) RETURN_FAILURE(HRESULT_FROM_WIN32(status));
    const UniqueRegistryKey key(created);
    if (before.infoLine != after.infoLine) RETURN_IF_FAILED(WriteDword(key.Get(), kInfoLineValue, after.infoLine));
    if (before.SpeedPercent() != after.SpeedPercent()) {
        RETURN_IF_FAILED(WriteDword(key.Get(), kSpeedPercentValue, after.SpeedPercent()));
    }
    if (before.checkerboard != after.checkerboard) {
        RETURN_IF_FAILED(WriteDword(key.Get(), kCheckerboardValue, after.checkerboard));
    }
    if (before.pixelExact != after.pixelExact) RETURN_IF_FAILED(WriteDword(key.Get(), kPixelExactValue, after.pixelExact));
    if (before.autoPlayVideos != after.autoPlayVideos) {
        RETURN_IF_FAILED(WriteDword(key.Get(), kAutoPlayVideosValue, after.autoPlayVideos));
    }
    return S_OK;
}

} // namespace Quivane
