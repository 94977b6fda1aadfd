#pragma once
// The strip across the bottom of the preview: a frame scrubber for
// animations, a position scrubber for videos. Geometry and pointer logic;
// drawing lives in SeekBarPainter.
#include "ColorRules.h"
#include "RectF.h"

#include <cstdint>

namespace Quivane {

// Sizes at 96 DPI; the bar scales them by the window's display scale.
constexpr float kSeekBarHeight = 40.0f;
constexpr float kSeekBarInset = 12.0f;
constexpr float kThumbRadius = 8.0f;

class SeekBar {
public:
    void SetSize(std::int32_t w, std::int32_t h);
    // The window's DPI over 96: 1.5 at 144 DPI. Layout is in pixels throughout.
    void SetScale(float value);
    void SetFrameMode(std::uint32_t count);
    void SetTimeFraction(double value);
    void SetFrameIndex(std::uint32_t index);

    // A press inside the visible bar starts a drag and moves the thumb there.
    void Press(std::int32_t x, std::int32_t y);
    void Drag(std::int32_t x);
    // Ends a drag; returns whether one was under way.
    bool Release();

    bool IsVisible() const { return timeMode || frameCount >= 2; }
    std::uint32_t FrameIndex() const { return frameIndex; }
    double Fraction() const { return fraction; }
    bool IsDragging() const { return dragging; }
    bool IsTimeMode() const { return timeMode; }
    std::uint32_t FrameCount() const { return frameCount; }
    // The position on a time line of `duration` that the thumb stands for.
    std::uint64_t PositionOn(std::uint64_t duration) const;

    RectF BackgroundRect() const;
    RectF TrackRect() const;
    RectF ThumbStemRect() const;
    float ThumbCentreX() const;
    float ThumbCentreY() const;
    float ThumbRadius() const { return kThumbRadius * scale; }
    float Scale() const { return scale; }

    // Colours follow the theme, read again at most once a second while drawn.
    bool ThemeCheckDue(std::uint32_t now) const;
    void ApplyTheme(bool lightTheme, std::uint32_t now);
    const SeekBarColors& Colors() const { return colors; }

private:
    void MapX(std::int32_t x);

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameCount = 0;
    std::uint32_t frameIndex = 0;
    float scale = 1.0f;
    double fraction = 0.0;
    bool timeMode = false;
    bool dragging = false;
    std::uint32_t lastThemeCheck = 0;
    SeekBarColors colors = SeekBarColorsFor(false);
};

} // namespace Quivane
