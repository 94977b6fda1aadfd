#include "BackgroundRenderTarget.h"

#include <cstdint>
#include <exception>
#include <mutex>

namespace Quivane {

using Microsoft::WRL::ComPtr;

struct BackgroundRenderTarget::Shared {
    std::mutex lock;
    bool done = false;
    bool taken = false;
    HRESULT result = E_PENDING;
    ComPtr<ID2D1HwndRenderTarget> target;
};

namespace {

// How long the window's thread waits for a target still being made as it goes.
constexpr DWORD kWorkerPatienceMs = 5000;

// Each kind of drawing the window uses (a bitmap, rounded and clipped shapes,
// an ellipse), done invisibly so that a software device prepares it here.
void DrawEveryKindInvisibly(ID2D1RenderTarget* target) {
    const D2D1_COLOR_F clear = {0, 0, 0, 0};
    ComPtr<ID2D1SolidColorBrush> brush;
    if (SUCCEEDED(target->CreateSolidColorBrush(clear, &brush))) {
        const D2D1_RECT_F spot = D2D1::RectF(0, 0, 2, 2);
        target->PushAxisAlignedClip(spot, D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
        target->FillRoundedRectangle(D2D1::RoundedRect(spot, 1, 1), brush.Get());
        target->PopAxisAlignedClip();
        target->FillEllipse(D2D1::Ellipse(D2D1::Point2F(1, 1), 1, 1), brush.Get());
    }
    const std::uint32_t transparentPixel = 0;
    ComPtr<ID2D1Bitmap> bitmap;
    if (SUCCEEDED(target->CreateBitmap(D2D1::SizeU(1, 1), &transparentPixel, 4,
                                       D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM,
                                                                                D2D1_ALPHA_MODE_PREMULTIPLIED)),
                                       &bitmap))) {
        target->DrawBitmap(bitmap.Get(), D2D1::RectF(0, 0, 2, 2), 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
    }
}

// A target's first two pictures: presenting the second waits until the
// device has finished the first, its slowest.
void DrawFirstPictures(ID2D1HwndRenderTarget* target, D2D1_COLOR_F background) {
    for (int picture = 0; picture < 2; ++picture) {
        target->BeginDraw();
        target->Clear(background);
        if (picture == 0) DrawEveryKindInvisibly(target);
        if (FAILED(target->EndDraw())) return;
    }
}

} // namespace

HRESULT BackgroundRenderTarget::Start(ID2D1Factory* factory, Create create,
                                      const D2D1_RENDER_TARGET_PROPERTIES& properties,
                                      const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties,
                                      D2D1_COLOR_F background) {
    if (factory == nullptr || !create) return E_POINTER;
    if (shared_) return E_UNEXPECTED;
    std::shared_ptr<Shared> shared;
    try {
        shared = std::make_shared<Shared>();
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    ComPtr<ID2D1Factory> keptFactory(factory);
    const HRESULT started =
        worker_.Start([shared, keptFactory, create, properties, windowProperties, background] {
            ComPtr<ID2D1HwndRenderTarget> target;
            HRESULT hr = E_OUTOFMEMORY;
            try {
                hr = create(keptFactory.Get(), properties, windowProperties, &target);
                if (SUCCEEDED(hr)) DrawFirstPictures(target.Get(), background);
            } catch (const std::exception&) {
                target.Reset();
            }
            {
                std::lock_guard<std::mutex> guard(shared->lock);
                shared->result = SUCCEEDED(hr) && !target ? E_FAIL : hr;
                shared->target = std::move(target);
                shared->done = true;
            }
            InvalidateRect(windowProperties.hwnd, nullptr, FALSE);
        });
    if (FAILED(started)) return started;
    shared_ = std::move(shared);
    return S_OK;
}

bool BackgroundRenderTarget::TryTake(HRESULT& result, ComPtr<ID2D1HwndRenderTarget>& target) {
    if (!shared_) return false;
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (!shared_->done || shared_->taken) return false;
    shared_->taken = true;
    result = shared_->result;
    target = std::move(shared_->target);
    return true;
}

BackgroundRenderTarget::~BackgroundRenderTarget() { worker_.Wait(kWorkerPatienceMs); }

} // namespace Quivane
