#include "ThumbnailProviderCom.h"

#include "ThumbnailSize.h"
#include "platform/Direct2D.h"
#include "platform/HResult.h"
#include "renderers/RendererFactory.h"

#include <memory>
#include <new>

namespace Quivane {

using Microsoft::WRL::ComPtr;

HRESULT CreateThumbnailProvider(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto* provider = new (std::nothrow) ThumbnailProviderCom();
    if (provider == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = provider->QueryInterface(iid, out);
    provider->Release(); // a refused interface destroys the new object here
    return hr;
}

IFACEMETHODIMP ThumbnailProviderCom::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == __uuidof(IThumbnailProvider)) {
        *out = static_cast<IThumbnailProvider*>(this);
    } else if (iid == IID_IInitializeWithStream) {
        *out = static_cast<IInitializeWithStream*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

IFACEMETHODIMP_(ULONG) ThumbnailProviderCom::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

IFACEMETHODIMP_(ULONG) ThumbnailProviderCom::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

IFACEMETHODIMP ThumbnailProviderCom::Initialize(IStream* newStream, DWORD) {
    if (newStream == nullptr) return E_POINTER;
    try {
        // The content decides the renderer, not a file name.
        std::wstring name = SyntheticNameFromStream(newStream);
        stream = newStream;
        source.stream = newStream;
        source.name = std::move(name);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

IFACEMETHODIMP ThumbnailProviderCom::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) {
    if (bitmap == nullptr || alphaType == nullptr) return E_POINTER;
    *bitmap = nullptr;
    *alphaType = WTSAT_ARGB;
    if (cx == 0) return E_INVALIDARG;
    if (!stream) return E_FAIL;
    try {
        return MakeThumbnail(cx, bitmap);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY; // no exception leaves a COM method
    }
}

HRESULT ThumbnailProviderCom::MakeThumbnail(UINT cx, HBITMAP* out) {
    source.stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    std::unique_ptr<IAnimatedRenderer> renderer(CreateRendererForPath(source.name));
    if (!renderer) return E_FAIL;
    RETURN_IF_FAILED(renderer->Load(source.stream.Get()));
    if (renderer->GetFrameCount() == 0) return E_FAIL;
    const std::uint32_t index = renderer->GetThumbnailFrameIndex();
    renderer->SetCurrentFrame(index);
    ComPtr<IWICBitmapSource> picture;
    RETURN_IF_FAILED(renderer->GetFrameBitmap(index, &picture));
    if (!picture) return E_FAIL;
    UINT pictureWidth = 0, pictureHeight = 0;
    RETURN_IF_FAILED(picture->GetSize(&pictureWidth, &pictureHeight));
    if (pictureWidth == 0 || pictureHeight == 0) return E_FAIL;
    const ThumbnailSize size = FitThumbnail(pictureWidth, pictureHeight, cx);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(size.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(size.height); // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (dib == nullptr) return E_OUTOFMEMORY;
    if (bits == nullptr) {
        DeleteObject(dib);
        return E_OUTOFMEMORY;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    if (memory == nullptr) {
        const HRESULT hr = HResultFromLastError();
        DeleteObject(dib);
        return hr;
    }
    HGDIOBJ previous = SelectObject(memory, dib);
    const auto giveUp = [&](HRESULT hr) {
        SelectObject(memory, previous);
        DeleteDC(memory);
        DeleteObject(dib);
        return hr;
    };

    ComPtr<ID2D1Factory> factory;
    HRESULT hr = CreateDirect2DFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory);
    if (FAILED(hr)) return giveUp(hr);
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
        96.0f, 96.0f);
    ComPtr<ID2D1DCRenderTarget> target;
    hr = factory->CreateDCRenderTarget(&properties, &target);
    if (FAILED(hr)) return giveUp(hr);
    const RECT area = {0, 0, static_cast<LONG>(size.width), static_cast<LONG>(size.height)};
    hr = target->BindDC(memory, &area);
    if (FAILED(hr)) return giveUp(hr);

    renderer->SetViewSize(static_cast<std::int32_t>(size.width), static_cast<std::int32_t>(size.height));
    target->BeginDraw();
    target->Clear(D2D1::ColorF(0, 0, 0, 0)); // uncovered pixels stay fully transparent
    renderer->DrawCurrentFrame(target.Get());
    hr = target->EndDraw();
    // The renderer's device bitmaps belong to this target: both go before the DC does.
    renderer.reset();
    target.Reset();
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (FAILED(hr)) {
        DeleteObject(dib);
        return hr;
    }
    *out = dib;
    return S_OK;
}

} // namespace Quivane
