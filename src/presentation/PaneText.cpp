#include "PaneText.h"

#include "FontFamilyName.h"

#include "platform/HResult.h"
#include "platform/WindowDpi.h"

#include <algorithm>
#include <cmath>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

using SystemParametersForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

// The DPI of the screen's DC: what the system's and hosts' font heights are given in.
UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// The metrics for `dpi` where the system answers per DPI (Windows 10 1607
// on); elsewhere the system DPI's, scaled.
bool ReadNonClientMetrics(UINT dpi, NONCLIENTMETRICSW& metrics, UINT& metricsDpi) {
    metrics = {};
    metrics.cbSize = sizeof(metrics);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto forDpi = user32 != nullptr ? reinterpret_cast<SystemParametersForDpi>(reinterpret_cast<void*>(
                                          GetProcAddress(user32, "SystemParametersInfoForDpi")))
                                    : nullptr;
    if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        metricsDpi = dpi;
        return true;
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return false;
    metricsDpi = ScreenDpi();
    return true;
}

} // namespace

MessageFont ReadMessageFont(UINT dpi) {
    if (dpi == 0) dpi = kDefaultDpi;
    MessageFont font{L"Segoe UI", 9.0f * static_cast<float>(dpi) / 72.0f}; // 9 points, the usual message font
    NONCLIENTMETRICSW metrics;
    UINT metricsDpi = kDefaultDpi;
    if (!ReadNonClientMetrics(dpi, metrics, metricsDpi)) return font;
    if (metrics.lfMessageFont.lfFaceName[0] != L'\0') font.face = metrics.lfMessageFont.lfFaceName;
    const LONG height = metrics.lfMessageFont.lfHeight;
    if (height != 0) font.pixels = CharacterPixels(height, dpi, metricsDpi);
    return font;
}

float CharacterPixels(LONG height, UINT dpi, UINT fromDpi) {
    // A positive height includes the leading above the characters: about a fifth of it.
    const float characters = height < 0 ? static_cast<float>(-height) : static_cast<float>(height) * 0.8f;
    return characters * static_cast<float>(dpi) / static_cast<float>(fromDpi == 0 ? kDefaultDpi : fromDpi);
}

void PaneText::UseHostFont(const std::wstring& face, LONG height) {
    hostFace = face;
    hostHeight = height;
    formatDpi = 0;
}

HRESULT PaneText::FollowDpi(UINT dpi) {
    if (dpi == 0) dpi = kDefaultDpi;
    if (regular && dpi == formatDpi) return S_OK;
    if (!factory) {
        RETURN_IF_FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                             reinterpret_cast<IUnknown**>(factory.GetAddressOf())));
    }
    MessageFont font = ReadMessageFont(dpi);
    if (!hostFace.empty()) font.face = hostFace;
    if (hostHeight != 0) font.pixels = CharacterPixels(hostHeight, dpi, ScreenDpi());
    font.face = FamilyDirectWriteKnows(factory.Get(), font.face);
    const float size = std::max(1.0f, std::round(font.pixels));
    ComPtr<IDWriteTextFormat> madeRegular;
    ComPtr<IDWriteTextFormat> madeBold;
    RETURN_IF_FAILED(factory->CreateTextFormat(font.face.c_str(), nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                               DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, L"",
                                               &madeRegular));
    RETURN_IF_FAILED(factory->CreateTextFormat(font.face.c_str(), nullptr, DWRITE_FONT_WEIGHT_BOLD,
                                               DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, L"",
                                               &madeBold));
    for (IDWriteTextFormat* format : {madeRegular.Get(), madeBold.Get()}) {
        format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
        format->SetWordWrapping(DWRITE_WORD_WRAPPING_WRAP);
    }
    regular = std::move(madeRegular);
    bold = std::move(madeBold);
    formatDpi = dpi;
    fontSize = size;
    return S_OK;
}

HRESULT PaneText::Layout(const std::wstring& text, float maxWidth, bool useBold,
                         ComPtr<IDWriteTextLayout>& layout) const {
    if (!factory || !regular) return E_UNEXPECTED;
    return factory->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()),
                                     useBold ? bold.Get() : regular.Get(), std::max(1.0f, maxWidth), 1.0e6f,
                                     layout.ReleaseAndGetAddressOf());
}

D2D1_SIZE_F PaneText::Extent(IDWriteTextLayout* layout) {
    DWRITE_TEXT_METRICS metrics = {};
    if (layout == nullptr || FAILED(layout->GetMetrics(&metrics))) return D2D1::SizeF(0, 0);
    return D2D1::SizeF(metrics.widthIncludingTrailingWhitespace, metrics.height);
}

} // namespace Quivane
