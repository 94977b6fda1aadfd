#include "FaultInjectingTarget.h"

namespace QuivaneTest {
namespace {
// Not declared by the mingw-w64 headers.
constexpr GUID kIidHwndRenderTarget = {0x2cd90698, 0x12e2, 0x11dc, {0x9f, 0xed, 0x00, 0x11, 0x43, 0xa0, 0x55, 0xf9}};
} // namespace

HRESULT STDMETHODCALLTYPE FaultInjectingTarget::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_ID2D1Resource || iid == IID_ID2D1RenderTarget ||
        iid == kIidHwndRenderTarget) {
        *out = static_cast<ID2D1HwndRenderTarget*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FaultInjectingTarget::Release() {
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE FaultInjectingTarget::CreateSolidColorBrush(const D2D1_COLOR_F* color,
                                                                      const D2D1_BRUSH_PROPERTIES* properties,
                                                                      ID2D1SolidColorBrush** brush) {
    if (failBrushes > 0) {
        --failBrushes;
        if (brush) *brush = nullptr;
        return E_OUTOFMEMORY;
    }
    return inner_->CreateSolidColorBrush(color, properties, brush);
}

HRESULT STDMETHODCALLTYPE FaultInjectingTarget::EndDraw(D2D1_TAG* tag1, D2D1_TAG* tag2) {
    ++endDrawCalls;
    const HRESULT hr = inner_->EndDraw(tag1, tag2);
    if (failEndDraws > 0) {
        --failEndDraws;
        return D2DERR_RECREATE_TARGET;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE FaultInjectingTarget::Resize(const D2D1_SIZE_U* size) {
    if (FAILED(resizeResult)) return resizeResult;
    return inner_->Resize(size);
}

} // namespace QuivaneTest
