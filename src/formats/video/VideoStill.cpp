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
    still.facts.format = format.name;
    const HRESULT opened = source->Open(stream);
    source->DescribeMedia(still.facts);
    RETURN_IF_FAILED(opened);
    if (!source->IsVideo()) return E_NOTIMPL;
    if (position) {
        RETURN_IF_FAILED(source->ReadStillAt(*position, still.frame, still.timeline.position));
    } else {
        RETURN_IF_FAILED(source->ReadFrame(0, still.frame));
        still.timeline.position = source->ShownPosition();
    }
    still.timeline.duration = source->Duration();
    still.facts.width = still.frame.width;
    still.facts.height = still.frame.height;
    return S_OK;
}

std::unique_ptr<StoreMedia> CreateStillMedia(VideoStill&& still) {
    auto store = std::make_shared<FrameStore>(1);
    store->Put(0, std::move(still.frame));
    auto media = std::make_unique<StoreMedia>(std::move(store), still.timeline);
    media->SetFacts(std::move(still.facts));
    return media;
}

} // namespace Quivane
