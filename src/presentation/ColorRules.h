#pragma once
// Colour choices of the preview: background by theme and host colour, and the
// colours of the seek bar and the loading indicator. Colour references are
// 0x00BBGGRR values, as the host passes them.
#include <cstdint>

namespace Quivane {

struct ColorF4 {
    float r, g, b, a;
};

constexpr std::uint32_t kLightThemeBackground = 0x00F5F5F5; // RGB(245, 245, 245)
constexpr std::uint32_t kDarkThemeBackground = 0x000F0F0F;  // RGB(15, 15, 15)

// BT.709 luma of the colour, channels in 0..1.
float Lightness(std::uint32_t colorRef);
bool IsLightColor(std::uint32_t colorRef);

ColorF4 ColorFromRef(std::uint32_t colorRef, float alpha);

// The host's background when it suits the theme (both light or both dark),
// otherwise the theme's own background.
std::uint32_t BackgroundColorFor(bool lightTheme, bool hostColorSet, std::uint32_t hostColor);

struct IndicatorColors {
    ColorF4 track;
    ColorF4 block;
};
// The host's text colour colours the moving block when it stands out against the theme.
IndicatorColors IndicatorColorsFor(bool lightTheme, bool hostTextSet, std::uint32_t hostText);

// Text on `background`: the host's text colour when it stands out against
// that background, else a near-black or near-white grey of the theme's.
ColorF4 TextColorFor(std::uint32_t background, bool hostTextSet, std::uint32_t hostText);

struct SeekBarColors {
    ColorF4 background;
    ColorF4 track;
    ColorF4 thumb;
};
SeekBarColors SeekBarColorsFor(bool lightTheme);

} // namespace Quivane
