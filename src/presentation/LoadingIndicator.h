#pragma once
// Where the loading indicator's bar and moving block stand in a window.
#include "RectF.h"

#include <cstdint>

namespace Quivane {

constexpr float kIndicatorBarRadius = 7.0f;
constexpr float kIndicatorBlockRadius = 5.0f;

struct IndicatorGeometry {
    RectF bar;   // the track; the block is clipped to it
    RectF block; // crosses the bar once a second
};

// `scale` is the window's DPI over 96; sizes are in pixels.
IndicatorGeometry LoadingIndicatorGeometry(float width, float height, std::uint32_t tick, float scale = 1.0f);

} // namespace Quivane
