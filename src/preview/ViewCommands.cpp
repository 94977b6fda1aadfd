#include "ViewCommands.h"

#include "platform/OwnedHandles.h"
#include "presentation/InfoLineText.h"

namespace Quivane {

namespace {

constexpr WPARAM kKeyI = 0x49;
constexpr WPARAM kKeyP = 0x50;
constexpr WPARAM kKeyT = 0x54;

UINT Checked(bool on) { return on ? MF_CHECKED : MF_UNCHECKED; }

} // namespace

bool IsViewKey(WPARAM key) {
    return key == kKeyI || key == kKeyP || key == kKeyT || key == VK_OEM_4 || key == VK_OEM_6;
}

bool ApplyViewKey(WPARAM key, ViewOptions& options) {
    switch (key) {
    case kKeyI: return ApplyViewCommand(IDM_SHOW_INFORMATION, options);
    case kKeyT: return ApplyViewCommand(IDM_CHECKERBOARD, options);
    case kKeyP: return ApplyViewCommand(IDM_PIXEL_EXACT, options);
    case VK_OEM_4: return options.Slower();
    case VK_OEM_6: return options.Faster();
    default: return false;
    }
}

bool IsViewCommand(UINT command) {
    return command == IDM_SHOW_INFORMATION || command == IDM_CHECKERBOARD || command == IDM_PIXEL_EXACT ||
           command == IDM_AUTOPLAY_VIDEOS ||
           (command >= IDM_SPEED_FIRST && command < IDM_SPEED_FIRST + kPlaybackSpeedCount);
}

bool ApplyViewCommand(UINT command, ViewOptions& options) {
    switch (command) {
    case IDM_SHOW_INFORMATION: options.infoLine = !options.infoLine; return true;
    case IDM_CHECKERBOARD: options.checkerboard = !options.checkerboard; return true;
    case IDM_PIXEL_EXACT: options.pixelExact = !options.pixelExact; return true;
    case IDM_AUTOPLAY_VIDEOS: options.autoPlayVideos = !options.autoPlayVideos; return true;
    default: break;
    }
    if (!IsViewCommand(command)) return false;
    const std::uint32_t step = command - IDM_SPEED_FIRST;
    if (step == options.speedStep) return false;
    options.speedStep = step;
    return true;
}

void AppendViewItems(HMENU menu, const ViewOptions& options) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | Checked(options.infoLine), IDM_SHOW_INFORMATION, L"Show information\tI");
    AppendMenuW(menu, MF_STRING | Checked(options.checkerboard), IDM_CHECKERBOARD,
                L"Show transparency as checkerboard\tT");
    AppendMenuW(menu, MF_STRING | Checked(options.pixelExact), IDM_PIXEL_EXACT, L"Pixel-exact scaling\tP");
    AppendMenuW(menu, MF_STRING | Checked(options.autoPlayVideos), IDM_AUTOPLAY_VIDEOS, L"Play videos when shown");
    UniqueMenu speeds(CreatePopupMenu());
    if (!speeds) return; // the speed stays on the keys
    for (std::uint32_t step = 0; step < kPlaybackSpeedCount; ++step) {
        // Named as the information line names them.
        AppendMenuW(speeds.Get(), MF_STRING, IDM_SPEED_FIRST + step, SpeedText(kPlaybackSpeedsPercent[step]).c_str());
    }
    const UINT current = IDM_SPEED_FIRST + (options.speedStep < kPlaybackSpeedCount ? options.speedStep : kNormalSpeedStep);
    CheckMenuRadioItem(speeds.Get(), IDM_SPEED_FIRST, IDM_SPEED_FIRST + kPlaybackSpeedCount - 1, current, MF_BYCOMMAND);
    // Once appended, the submenu is the menu's: it goes when the menu is destroyed.
    if (AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(speeds.Get()), L"Playback speed\t[  ]")) {
        static_cast<void>(speeds.Release());
    }
}

} // namespace Quivane
