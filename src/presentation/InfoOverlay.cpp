#include "InfoOverlay.h"

#include "platform/WindowDpi.h"

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

// At 96 DPI.
constexpr float kBandPaddingX = 12.0f;
constexpr float kBandPaddingY = 4.0f;
constexpr float kBadgeSize = 24.0f;
constexpr float kBadgeMargin = 8.0f;

float ScaleOf(UINT dpi) { return static_cast<float>(dpi != 0 ? dpi : kDefaultDpi) / static_cast<float>(kDefaultDpi); }

bool FillWith(ID2D1RenderTarget* target, D2D1_COLOR_F color, ComPtr<ID2D1SolidColorBrush>& brush) {
    return SUCCEEDED(target->CreateSolidColorBrush(color, brush.ReleaseAndGetAddressOf()));
}

} // namespace

float InfoOverlay::DrawLine(ID2D1RenderTarget* target, PaneText& text, UINT dpi, float width, float height,
                            const std::wstring& line, const OverlayColors& colors) {
    if (target == nullptr || line.empty() || FAILED(text.FollowDpi(dpi))) return 0;
    const float scale = ScaleOf(dpi);
    const float lineWidth = width - 2 * kBandPaddingX * scale;
    if (lineWidth < 4 * text.FontSize()) return 0;
    if (!layout || line != laidOutLine || lineWidth != laidOutWidth || text.FontSize() != laidOutFontSize) {
        laidOutLine.clear();
        if (FAILED(text.Layout(line, lineWidth, false, layout))) return 0;
        laidOutLine = line;
        laidOutWidth = lineWidth;
        laidOutFontSize = text.FontSize();
    }
    DWRITE_TEXT_METRICS metrics = {};
    if (FAILED(layout->GetMetrics(&metrics)) || metrics.lineCount != 1) return 0;
    const float bandHeight = metrics.height + 2 * kBandPaddingY * scale;
    if (3 * bandHeight > height) return 0;

    ComPtr<ID2D1SolidColorBrush> band;
    ComPtr<ID2D1SolidColorBrush> ink;
    if (!FillWith(target, colors.band, band) || !FillWith(target, colors.ink, ink)) return 0;
    target->FillRectangle(D2D1::RectF(0, 0, width, bandHeight), band.Get());
    // Grey smoothing, as the failure message: ClearType over a translucent band fringes.
    const D2D1_TEXT_ANTIALIAS_MODE earlier = target->GetTextAntialiasMode();
    target->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    target->DrawTextLayout(D2D1::Point2F(kBandPaddingX * scale, kBandPaddingY * scale), layout.Get(), ink.Get());
    target->SetTextAntialiasMode(earlier);
    return bandHeight;
}

void InfoOverlay::DrawPauseBadge(ID2D1RenderTarget* target, UINT dpi, float width, float height, float top,
                                 const OverlayColors& colors) {
    const float scale = ScaleOf(dpi);
    const float size = kBadgeSize * scale;
    const float margin = kBadgeMargin * scale;
    if (target == nullptr || width < 3 * size || height - top < 3 * size) return;
    ComPtr<ID2D1SolidColorBrush> band;
    ComPtr<ID2D1SolidColorBrush> ink;
    if (!FillWith(target, colors.band, band) || !FillWith(target, colors.ink, ink)) return;
    const float left = width - margin - size;
    const float badgeTop = top + margin;
    const float corner = size / 6;
    const D2D1_RECT_F square = D2D1::RectF(left, badgeTop, left + size, badgeTop + size);
    target->FillRoundedRectangle(D2D1::RoundedRect(square, corner, corner), band.Get());
    const float barWidth = size / 5;
    const float barHeight = size / 2;
    const float gap = size / 6;
    const float barsLeft = left + (size - 2 * barWidth - gap) / 2;
    const float barsTop = badgeTop + (size - barHeight) / 2;
    target->FillRectangle(D2D1::RectF(barsLeft, barsTop, barsLeft + barWidth, barsTop + barHeight), ink.Get());
    const float secondLeft = barsLeft + barWidth + gap;
    target->FillRectangle(D2D1::RectF(secondLeft, barsTop, secondLeft + barWidth, barsTop + barHeight), ink.Get());
}

} // namespace Quivane
