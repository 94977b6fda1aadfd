#include "FrameSource.h"

#include "imaging/AreaScale.h"
#include "platform/HResult.h"
#include "platform/SharedBytesStream.h"
#include "platform/StreamBytes.h"

namespace Quivane {

HRESULT FrameSource::OpenBytes(const FileBytes& bytes) {
    bytesStream_.Reset();
    RETURN_IF_FAILED(CreateSharedBytesStream(bytes, bytesStream_.ReleaseAndGetAddressOf()));
    return Open(bytesStream_.Get());
}

HRESULT OpenFromWholeStream(FrameSource& source, IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    RETURN_IF_FAILED(ReadWholeStream(stream, *bytes));
    return source.OpenBytes(bytes);
}

HRESULT CopyFrame(const FrameView& view, FramePixels& frame) {
    frame.width = view.width;
    frame.height = view.height;
    frame.delayMs = view.delayMs;
    frame.pixels.assign(view.pixels, view.pixels + view.Stride() * view.height);
    return S_OK;
}

HRESULT FrameSource::ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose) {
    return UseFrame(index, [&](const FrameView& view) {
        ScaledFrameTarget target;
        RETURN_IF_FAILED(choose(view.width, view.height, view.delayMs, target));
        return ScalePremultipliedBgra(view.pixels, view.width, view.height, view.Stride(), target.pixels, target.width,
                                      target.height, target.stride)
                   ? S_OK
                   : E_OUTOFMEMORY;
    });
}

} // namespace Quivane
