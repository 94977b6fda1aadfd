#include "ColorRules.h"

namespace Quivane {
namespace {

float Channel(std::uint32_t colorRef, int shift) { return static_cast<float>((colorRef >> shift) & 0xFF) / 255.0f; }

} // namespace

float Lightness(std::uint32_t colorRef) {
    return 0.2126f * Channel(colorRef, 0) + 0.7152f * Channel(colorRef, 8) + 0.0722f * Channel(colorRef, 16);
}

bool IsLightColor(std::uint32_t colorRef) { return Lightness(colorRef) >= 0.5f; }

ColorF4 ColorFromRef(std::uint32_t colorRef, float alpha) {
    return ColorF4{Channel(colorRef, 0), Channel(colorRef, 8), Channel(colorRef, 16), alpha};
}

std::uint32_t BackgroundColorFor(bool lightTheme, bool hostColorSet, std::uint32_t hostColor) {
    if (hostColorSet && IsLightColor(hostColor) == lightTheme) return hostColor;
    return lightTheme ? kLightThemeBackground : kDarkThemeBackground;
}

IndicatorColors IndicatorColorsFor(bool lightTheme, bool hostTextSet, std::uint32_t hostText) {
    const bool useText = hostTextSet && IsLightColor(hostText) != lightTheme;
    IndicatorColors colors;
    if (lightTheme) {
        colors.track = ColorF4{0.70f, 0.70f, 0.70f, 0.95f};
        colors.block = ColorF4{0.22f, 0.22f, 0.22f, 0.95f};
    } else {
        colors.track = ColorF4{0.16f, 0.16f, 0.16f, 0.95f};
        colors.block = ColorF4{0.72f, 0.72f, 0.72f, 0.95f};
    }
    if (useText) colors.block = ColorFromRef(hostText, 0.95f);
    return colors;
}

ColorF4 TextColorFor(std::uint32_t background, bool hostTextSet, std::uint32_t hostText) {
    const bool lightBackground = IsLightColor(background);
    if (hostTextSet && IsLightColor(hostText) != lightBackground) return ColorFromRef(hostText, 1.0f);
    return lightBackground ? ColorF4{0.11f, 0.11f, 0.11f, 1.0f} : ColorF4{0.92f, 0.92f, 0.92f, 1.0f};
}

SeekBarColors SeekBarColorsFor(bool lightTheme) {
    if (lightTheme) {
        return SeekBarColors{{0.97f, 0.97f, 0.97f, 0.92f}, {0.70f, 0.70f, 0.70f, 1.0f}, {0.22f, 0.22f, 0.22f, 1.0f}};
    }
    return SeekBarColors{{0.08f, 0.08f, 0.08f, 0.75f}, {0.16f, 0.16f, 0.16f, 1.0f}, {0.72f, 0.72f, 0.72f, 1.0f}};
}

} // namespace Quivane
