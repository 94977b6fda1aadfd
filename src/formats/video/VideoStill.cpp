#include "VideoStill.h"

#include "formats/FormatSources.h"
#include "platform/HResult.h"

#include <utility>

namespace Quivane {

HRESULT ReadVideoStill(const FormatRow& format, IStream* stream, std::optional<std::uint64_t> position,
                       VideoStill& still, const StopToken& stop) {
    if (stream == nullptr) return E_POINTER;
    std::unique_ptr<FrameSource> source = CreateFrameSource(format, stop);
    if (!source) return E_OUTOFMEMORY;
    RETURN_IF_FAILED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    RETURN_IF_FAILED(source->Open(stream));
    if (!source->IsVideo()) return E_NOTIMPL;
    if (position) {
        RETURN_IF_FAILED(source->ReadStillAt(*position, still.frame, still.timeline.position));
    } else {
        RETURN_IF_FAILED(source->ReadFrame(0, still.frame));
        still.timeline.position = source->ShownPosition();
    }
    still.timeline.duration = source->Duration();
    return S_OK;
}

std::unique_ptr<StoreRenderer> CreateStillRenderer(VideoStill&& still) {
    auto store = std::make_shared<FrameStore>(1);
    store->Put(0, std::move(still.frame));
    return std::make_unique<StoreRenderer>(std::move(store), still.timeline);
}

} // namespace Quivane
