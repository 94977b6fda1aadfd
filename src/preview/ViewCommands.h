#pragma once
// The keys and context menu items that change the view the user chose: the
// information line (I), playback speed ([ slower, ] faster), the checkerboard
// behind transparent pixels (T), pixel-exact scaling (P), and playing videos
// as soon as they are shown (a menu item only).
#include "presentation/ViewOptions.h"

#include <windows.h>

namespace Quivane {

// Menu items, also taken as WM_COMMAND from elsewhere (beside IDM_SAVE_FRAME and IDM_COPY_FRAME).
constexpr UINT IDM_SHOW_INFORMATION = 0x5103;
constexpr UINT IDM_CHECKERBOARD = 0x5104;
constexpr UINT IDM_PIXEL_EXACT = 0x5105;
constexpr UINT IDM_AUTOPLAY_VIDEOS = 0x5106;
// One item per speed, in the order of kPlaybackSpeedsPercent.
constexpr UINT IDM_SPEED_FIRST = 0x5110;

bool IsViewKey(WPARAM key);
// The options after `key` or menu `command`; false when it changes nothing
// (not one of ours, or a speed already at its end).
bool ApplyViewKey(WPARAM key, ViewOptions& options);
bool IsViewCommand(UINT command);
bool ApplyViewCommand(UINT command, ViewOptions& options);

// The view's items at the end of `menu`: checked toggles and a speed submenu
// with the current speed checked.
void AppendViewItems(HMENU menu, const ViewOptions& options);

} // namespace Quivane
