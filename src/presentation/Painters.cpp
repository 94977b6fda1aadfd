#include "Painters.h"

#include "LoadingIndicator.h"
#include "Theme.h"

#include <wrl/client.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

D2D1_COLOR_F ToD2D(const ColorF4& color) { return D2D1::ColorF(color.r, color.g, color.b, color.a); }

D2D1_RECT_F ToD2D(const RectF& rect) { return D2D1::RectF(rect.left, rect.top, rect.right, rect.bottom); }

void DrawSeekBar(SeekBar& bar, ID2D1RenderTarget* target) {
    if (target == nullptr || !bar.IsVisible()) return;
    const std::uint32_t now = GetTickCount();
    if (bar.ThemeCheckDue(now)) bar.ApplyTheme(IsLightTheme(), now);

    const SeekBarColors& colors = bar.Colors();
    ComPtr<ID2D1SolidColorBrush> brush;
    if (FAILED(target->CreateSolidColorBrush(ToD2D(colors.background), &brush))) return;
    target->FillRectangle(ToD2D(bar.BackgroundRect()), brush.Get());
    brush->SetColor(ToD2D(colors.track));
    target->FillRectangle(ToD2D(bar.TrackRect()), brush.Get());
    brush->SetColor(ToD2D(colors.thumb));
    target->FillRectangle(ToD2D(bar.ThumbStemRect()), brush.Get());
    target->FillEllipse(D2D1::Ellipse(D2D1::Point2F(bar.ThumbCentreX(), bar.ThumbCentreY()), bar.ThumbRadius(), bar.ThumbRadius()),
                        brush.Get());
}

void DrawLoadingIndicator(ID2D1RenderTarget* target, float width, float height, float scale,
                          const IndicatorColors& colors) {
    const IndicatorGeometry geometry = LoadingIndicatorGeometry(width, height, GetTickCount(), scale);
    ComPtr<ID2D1SolidColorBrush> brush;
    if (FAILED(target->CreateSolidColorBrush(ToD2D(colors.track), &brush))) return;
    const D2D1_RECT_F bar = ToD2D(geometry.bar);
    target->FillRoundedRectangle(D2D1::RoundedRect(bar, kIndicatorBarRadius * scale, kIndicatorBarRadius * scale), brush.Get());
    brush->SetColor(ToD2D(colors.block));
    target->PushAxisAlignedClip(bar, D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    target->FillRoundedRectangle(
        D2D1::RoundedRect(ToD2D(geometry.block), kIndicatorBlockRadius * scale, kIndicatorBlockRadius * scale), brush.Get());
    target->PopAxisAlignedClip();
}

} // namespace Quivane
