#pragma once
// A window render target for tests: it forwards every call to the real
// window target and can be told to fail EndDraw with D2DERR_RECREATE_TARGET,
// as a lost device does, or to fail brush creation or Resize.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <utility>

namespace QuivaneTest {

class FaultInjectingTarget final : public ID2D1HwndRenderTarget {
public:
    explicit FaultInjectingTarget(Microsoft::WRL::ComPtr<ID2D1HwndRenderTarget> inner) : inner_(std::move(inner)) {}

    int endDrawCalls = 0;

    int failEndDraws = 0;     // how many coming EndDraw calls report a lost device
    HRESULT resizeResult = S_OK; // what Resize answers when not S_OK

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override;

    // ID2D1Resource
    void STDMETHODCALLTYPE GetFactory(ID2D1Factory** factory) const override { inner_->GetFactory(factory); }

    // ID2D1RenderTarget
    HRESULT STDMETHODCALLTYPE CreateBitmap(D2D1_SIZE_U size, const void* data, UINT32 pitch,
                                           const D2D1_BITMAP_PROPERTIES* properties, ID2D1Bitmap** bitmap) override {
        return inner_->CreateBitmap(size, data, pitch, properties, bitmap);
    }
    HRESULT STDMETHODCALLTYPE CreateBitmapFromWicBitmap(IWICBitmapSource* source, const D2D1_BITMAP_PROPERTIES* properties,
                                                        ID2D1Bitmap** bitmap) override {
        return inner_->CreateBitmapFromWicBitmap(source, properties, bitmap);
    }
    HRESULT STDMETHODCALLTYPE CreateSharedBitmap(REFIID iid, void* data, const D2D1_BITMAP_PROPERTIES* properties,
                                                 ID2D1Bitmap** bitmap) override {
        return inner_->CreateSharedBitmap(iid, data, properties, bitmap);
    }
    HRESULT STDMETHODCALLTYPE CreateBitmapBrush(ID2D1Bitmap* bitmap, const D2D1_BITMAP_BRUSH_PROPERTIES* bitmapProperties,
                                                const D2D1_BRUSH_PROPERTIES* brushProperties,
                                                ID2D1BitmapBrush** brush) override {
        return inner_->CreateBitmapBrush(bitmap, bitmapProperties, brushProperties, brush);
    }
    HRESULT STDMETHODCALLTYPE CreateSolidColorBrush(const D2D1_COLOR_F* color, const D2D1_BRUSH_PROPERTIES* properties,
                                                    ID2D1SolidColorBrush** brush) override;
    HRESULT STDMETHODCALLTYPE CreateGradientStopCollection(const D2D1_GRADIENT_STOP* stops, UINT count, D2D1_GAMMA gamma,
                                                           D2D1_EXTEND_MODE mode,
                                                           ID2D1GradientStopCollection** collection) override {
        return inner_->CreateGradientStopCollection(stops, count, gamma, mode, collection);
    }
    HRESULT STDMETHODCALLTYPE CreateLinearGradientBrush(const D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES* gradient,
                                                        const D2D1_BRUSH_PROPERTIES* properties,
                                                        ID2D1GradientStopCollection* stops,
                                                        ID2D1LinearGradientBrush** brush) override {
        return inner_->CreateLinearGradientBrush(gradient, properties, stops, brush);
    }
    HRESULT STDMETHODCALLTYPE CreateRadialGradientBrush(const D2D1_RADIAL_GRADIENT_BRUSH_PROPERTIES* gradient,
                                                        const D2D1_BRUSH_PROPERTIES* properties,
                                                        ID2D1GradientStopCollection* stops,
                                                        ID2D1RadialGradientBrush** brush) override {
        return inner_->CreateRadialGradientBrush(gradient, properties, stops, brush);
    }
    HRESULT STDMETHODCALLTYPE CreateCompatibleRenderTarget(const D2D1_SIZE_F* size, const D2D1_SIZE_U* pixelSize,
                                                           const D2D1_PIXEL_FORMAT* format,
                                                           D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options,
                                                           ID2D1BitmapRenderTarget** target) override {
        return inner_->CreateCompatibleRenderTarget(size, pixelSize, format, options, target);
    }
    HRESULT STDMETHODCALLTYPE CreateLayer(const D2D1_SIZE_F* size, ID2D1Layer** layer) override {
        return inner_->CreateLayer(size, layer);
    }
    HRESULT STDMETHODCALLTYPE CreateMesh(ID2D1Mesh** mesh) override { return inner_->CreateMesh(mesh); }
    void STDMETHODCALLTYPE DrawLine(D2D1_POINT_2F p0, D2D1_POINT_2F p1, ID2D1Brush* brush, FLOAT width,
                                    ID2D1StrokeStyle* style) override {
        inner_->DrawLine(p0, p1, brush, width, style);
    }
    void STDMETHODCALLTYPE DrawRectangle(const D2D1_RECT_F* rect, ID2D1Brush* brush, FLOAT width,
                                         ID2D1StrokeStyle* style) override {
        inner_->DrawRectangle(rect, brush, width, style);
    }
    void STDMETHODCALLTYPE FillRectangle(const D2D1_RECT_F* rect, ID2D1Brush* brush) override {
        inner_->FillRectangle(rect, brush);
    }
    void STDMETHODCALLTYPE DrawRoundedRectangle(const D2D1_ROUNDED_RECT* rect, ID2D1Brush* brush, FLOAT width,
                                                ID2D1StrokeStyle* style) override {
        inner_->DrawRoundedRectangle(rect, brush, width, style);
    }
    void STDMETHODCALLTYPE FillRoundedRectangle(const D2D1_ROUNDED_RECT* rect, ID2D1Brush* brush) override {
        inner_->FillRoundedRectangle(rect, brush);
    }
    void STDMETHODCALLTYPE DrawEllipse(const D2D1_ELLIPSE* ellipse, ID2D1Brush* brush, FLOAT width,
                                       ID2D1StrokeStyle* style) override {
        inner_->DrawEllipse(ellipse, brush, width, style);
    }
    void STDMETHODCALLTYPE FillEllipse(const D2D1_ELLIPSE* ellipse, ID2D1Brush* brush) override {
        inner_->FillEllipse(ellipse, brush);
    }
    void STDMETHODCALLTYPE DrawGeometry(ID2D1Geometry* geometry, ID2D1Brush* brush, FLOAT width,
                                        ID2D1StrokeStyle* style) override {
        inner_->DrawGeometry(geometry, brush, width, style);
    }
    void STDMETHODCALLTYPE FillGeometry(ID2D1Geometry* geometry, ID2D1Brush* brush, ID2D1Brush* opacity) override {
        inner_->FillGeometry(geometry, brush, opacity);
    }
    void STDMETHODCALLTYPE FillMesh(ID2D1Mesh* mesh, ID2D1Brush* brush) override { inner_->FillMesh(mesh, brush); }
    void STDMETHODCALLTYPE FillOpacityMask(ID2D1Bitmap* mask, ID2D1Brush* brush, D2D1_OPACITY_MASK_CONTENT content,
                                           const D2D1_RECT_F* destination, const D2D1_RECT_F* source) override {
        inner_->FillOpacityMask(mask, brush, content, destination, source);
    }
    void STDMETHODCALLTYPE DrawBitmap(ID2D1Bitmap* bitmap, const D2D1_RECT_F* destination, FLOAT opacity,
                                      D2D1_BITMAP_INTERPOLATION_MODE mode, const D2D1_RECT_F* source) override {
        inner_->DrawBitmap(bitmap, destination, opacity, mode, source);
    }
    void STDMETHODCALLTYPE DrawText(const WCHAR* text, UINT length, IDWriteTextFormat* format, const D2D1_RECT_F* rect,
                                    ID2D1Brush* brush, D2D1_DRAW_TEXT_OPTIONS options,
                                    DWRITE_MEASURING_MODE mode) override {
        inner_->DrawText(text, length, format, rect, brush, options, mode);
    }
    void STDMETHODCALLTYPE DrawTextLayout(D2D1_POINT_2F origin, IDWriteTextLayout* layout, ID2D1Brush* brush,
                                          D2D1_DRAW_TEXT_OPTIONS options) override {
        inner_->DrawTextLayout(origin, layout, brush, options);
    }
    void STDMETHODCALLTYPE DrawGlyphRun(D2D1_POINT_2F origin, const DWRITE_GLYPH_RUN* run, ID2D1Brush* brush,
                                        DWRITE_MEASURING_MODE mode) override {
        inner_->DrawGlyphRun(origin, run, brush, mode);
    }
    void STDMETHODCALLTYPE SetTransform(const D2D1_MATRIX_3X2_F* transform) override { inner_->SetTransform(transform); }
    void STDMETHODCALLTYPE GetTransform(D2D1_MATRIX_3X2_F* transform) const override { inner_->GetTransform(transform); }
    void STDMETHODCALLTYPE SetAntialiasMode(D2D1_ANTIALIAS_MODE mode) override { inner_->SetAntialiasMode(mode); }
    D2D1_ANTIALIAS_MODE STDMETHODCALLTYPE GetAntialiasMode() const override { return inner_->GetAntialiasMode(); }
    void STDMETHODCALLTYPE SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE mode) override {
        inner_->SetTextAntialiasMode(mode);
    }
    D2D1_TEXT_ANTIALIAS_MODE STDMETHODCALLTYPE GetTextAntialiasMode() const override {
        return inner_->GetTextAntialiasMode();
    }
    void STDMETHODCALLTYPE SetTextRenderingParams(IDWriteRenderingParams* params) override {
        inner_->SetTextRenderingParams(params);
    }
    void STDMETHODCALLTYPE GetTextRenderingParams(IDWriteRenderingParams** params) const override {
        inner_->GetTextRenderingParams(params);
    }
    void STDMETHODCALLTYPE SetTags(D2D1_TAG tag1, D2D1_TAG tag2) override { inner_->SetTags(tag1, tag2); }
    void STDMETHODCALLTYPE GetTags(D2D1_TAG* tag1, D2D1_TAG* tag2) const override { inner_->GetTags(tag1, tag2); }
    void STDMETHODCALLTYPE PushLayer(const D2D1_LAYER_PARAMETERS* parameters, ID2D1Layer* layer) override {
        inner_->PushLayer(parameters, layer);
    }
    void STDMETHODCALLTYPE PopLayer() override { inner_->PopLayer(); }
    HRESULT STDMETHODCALLTYPE Flush(D2D1_TAG* tag1, D2D1_TAG* tag2) override { return inner_->Flush(tag1, tag2); }
    void STDMETHODCALLTYPE SaveDrawingState(ID2D1DrawingStateBlock* block) const override {
        inner_->SaveDrawingState(block);
    }
    void STDMETHODCALLTYPE RestoreDrawingState(ID2D1DrawingStateBlock* block) override {
        inner_->RestoreDrawingState(block);
    }
    void STDMETHODCALLTYPE PushAxisAlignedClip(const D2D1_RECT_F* rect, D2D1_ANTIALIAS_MODE mode) override {
        inner_->PushAxisAlignedClip(rect, mode);
    }
    void STDMETHODCALLTYPE PopAxisAlignedClip() override { inner_->PopAxisAlignedClip(); }
    void STDMETHODCALLTYPE Clear(const D2D1_COLOR_F* color) override { inner_->Clear(color); }
    void STDMETHODCALLTYPE BeginDraw() override { inner_->BeginDraw(); }
    HRESULT STDMETHODCALLTYPE EndDraw(D2D1_TAG* tag1, D2D1_TAG* tag2) override;
    D2D1_PIXEL_FORMAT* STDMETHODCALLTYPE GetPixelFormat(D2D1_PIXEL_FORMAT* format) const override {
        *format = inner_->GetPixelFormat();
        return format;
    }
    void STDMETHODCALLTYPE SetDpi(FLOAT x, FLOAT y) override { inner_->SetDpi(x, y); }
    void STDMETHODCALLTYPE GetDpi(FLOAT* x, FLOAT* y) const override { inner_->GetDpi(x, y); }
    D2D1_SIZE_F* STDMETHODCALLTYPE GetSize(D2D1_SIZE_F* size) const override {
        *size = inner_->GetSize();
        return size;
    }
    D2D1_SIZE_U* STDMETHODCALLTYPE GetPixelSize(D2D1_SIZE_U* size) const override {
        *size = inner_->GetPixelSize();
        return size;
    }
    UINT32 STDMETHODCALLTYPE GetMaximumBitmapSize() const override { return inner_->GetMaximumBitmapSize(); }
    BOOL STDMETHODCALLTYPE IsSupported(const D2D1_RENDER_TARGET_PROPERTIES* properties) const override {
        return inner_->IsSupported(properties);
    }

    // ID2D1HwndRenderTarget
    D2D1_WINDOW_STATE STDMETHODCALLTYPE CheckWindowState() override { return inner_->CheckWindowState(); }
    HRESULT STDMETHODCALLTYPE Resize(const D2D1_SIZE_U* size) override;
    HWND STDMETHODCALLTYPE GetHwnd() const override { return inner_->GetHwnd(); }

    using ID2D1RenderTarget::GetPixelFormat;
    using ID2D1RenderTarget::GetPixelSize;
    using ID2D1RenderTarget::GetSize;

    int failBrushes = 0; // how many coming brush creations fail with E_OUTOFMEMORY

private:
    Microsoft::WRL::ComPtr<ID2D1HwndRenderTarget> inner_;
    LONG references_ = 1;
};

} // namespace QuivaneTest
