#include "FailureMessage.h"

#include "platform/WindowDpi.h"

#include <wrl/client.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr float kMargin = 16.0f;      // at 96 DPI, on every side
constexpr float kNarrowestLines = 6;  // lines narrower than this many font sizes read as a column of scraps

} // namespace

void DrawFailureMessage(ID2D1RenderTarget* target, PaneText& text, UINT dpi, float width, float height,
                        const std::wstring& title, const std::wstring& reason, D2D1_COLOR_F color) {
    if (target == nullptr || title.empty() || FAILED(text.FollowDpi(dpi))) return;
    const float scale = static_cast<float>(dpi != 0 ? dpi : kDefaultDpi) / static_cast<float>(kDefaultDpi);
    const float margin = kMargin * scale;
    const float lineWidth = width - 2 * margin;
    const float room = height - 2 * margin;
    if (lineWidth < kNarrowestLines * text.FontSize() || room <= 0) return;

    ComPtr<IDWriteTextLayout> titleLayout;
    if (FAILED(text.Layout(title, lineWidth, true, titleLayout))) return;
    const float titleHeight = PaneText::Extent(titleLayout.Get()).height;
    if (titleHeight <= 0 || titleHeight > room) return;
    ComPtr<IDWriteTextLayout> reasonLayout;
    const float gap = text.FontSize() * 0.5f;
    float total = titleHeight;
    if (!reason.empty() && SUCCEEDED(text.Layout(reason, lineWidth, false, reasonLayout))) {
        const float reasonHeight = PaneText::Extent(reasonLayout.Get()).height;
        if (titleHeight + gap + reasonHeight <= room) {
            total += gap + reasonHeight;
        } else {
            reasonLayout.Reset();
        }
    }

    ComPtr<ID2D1SolidColorBrush> brush;
    if (FAILED(target->CreateSolidColorBrush(color, &brush))) return;
    // Grey smoothing reads the same on every target: bitmaps and device
    // contexts with an alpha channel take no ClearType.
    const D2D1_TEXT_ANTIALIAS_MODE earlier = target->GetTextAntialiasMode();
    target->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    const float top = (height - total) / 2;
    target->DrawTextLayout(D2D1::Point2F(margin, top), titleLayout.Get(), brush.Get());
    if (reasonLayout) target->DrawTextLayout(D2D1::Point2F(margin, top + titleHeight + gap), reasonLayout.Get(), brush.Get());
    target->SetTextAntialiasMode(earlier);
}

} // namespace Quivane
