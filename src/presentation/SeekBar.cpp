#include "SeekBar.h"

#include "VideoPosition.h"

#include <algorithm>
#include <cmath>

namespace Quivane {

void SeekBar::SetSize(std::int32_t w, std::int32_t h) {
    width = static_cast<std::uint32_t>(std::max(w, 0));
    height = static_cast<std::uint32_t>(std::max(h, 0));
}

void SeekBar::SetScale(float value) {
    // A DPI the system cannot mean (0, negative, absurd) keeps the bar usable.
    scale = std::isfinite(value) ? std::clamp(value, 1.0f, 8.0f) : 1.0f;
}

void SeekBar::SetFrameMode(std::uint32_t count) {
    timeMode = false;
    fraction = 0.0;
    frameCount = count;
    frameIndex = count == 0 ? 0 : std::min(frameIndex, count - 1);
}

void SeekBar::SetTimeFraction(double value) {
    frameCount = 0;
    frameIndex = 0;
    timeMode = true;
    fraction = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

void SeekBar::SetFrameIndex(std::uint32_t index) {
    if (timeMode) return;
    frameIndex = frameCount == 0 ? 0 : std::min(index, frameCount - 1);
}

void SeekBar::Press(std::int32_t x, std::int32_t y) {
    if (!IsVisible()) return;
    if (static_cast<float>(y) < static_cast<float>(height) - kSeekBarHeight * scale) return; // above the bar
    dragging = true;
    MapX(x);
}

void SeekBar::Drag(std::int32_t x) {
    if (!dragging || !IsVisible()) return;
    MapX(x);
}

bool SeekBar::Release() {
    const bool wasDragging = dragging;
    dragging = false;
    return wasDragging;
}

std::uint64_t SeekBar::PositionOn(std::uint64_t duration) const { return PositionAtFraction(fraction, duration); }

void SeekBar::MapX(std::int32_t x) {
    if (width == 0) return;
    const float w = static_cast<float>(width);
    const float inset = kSeekBarInset * scale;
    float position = static_cast<float>(x);
    if (position > w - inset) {
        position = w - inset;
    } else if (position < inset) {
        position = inset;
    }
    const float f = (position - inset) / std::max(w - 2 * inset, 1.0f);
    if (timeMode) {
        fraction = std::clamp(static_cast<double>(f), 0.0, 1.0);
    } else if (frameCount > 0) {
        const long nearest = std::max(0L, std::lround(static_cast<float>(frameCount - 1) * f));
        frameIndex = std::min(static_cast<std::uint32_t>(nearest), frameCount - 1);
    }
}

RectF SeekBar::BackgroundRect() const {
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    return RectF{0.0f, h - kSeekBarHeight * scale, w, h};
}

RectF SeekBar::TrackRect() const {
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    return RectF{kSeekBarInset * scale, h - 25.0f * scale, w - kSeekBarInset * scale, h - 15.0f * scale};
}

float SeekBar::ThumbCentreX() const {
    const float w = static_cast<float>(width);
    float g = 0.0f;
    if (timeMode) {
        g = static_cast<float>(fraction);
    } else if (frameCount > 1) {
        g = static_cast<float>(frameIndex) / static_cast<float>(frameCount - 1);
    }
    const float inset = kSeekBarInset * scale;
    return inset + (w - 2 * inset) * g;
}

float SeekBar::ThumbCentreY() const { return static_cast<float>(height) - 20.0f * scale; }

RectF SeekBar::ThumbStemRect() const {
    const float t = ThumbCentreX(), h = static_cast<float>(height);
    return RectF{t - 3.0f * scale, h - 36.0f * scale, t + 3.0f * scale, h - 4.0f * scale};
}

bool SeekBar::ThemeCheckDue(std::uint32_t now) const { return lastThemeCheck == 0 || now - lastThemeCheck >= 1000; }

void SeekBar::ApplyTheme(bool lightTheme, std::uint32_t now) {
    lastThemeCheck = now;
    colors = SeekBarColorsFor(lightTheme);
}

} // namespace Quivane
