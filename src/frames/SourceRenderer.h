#pragma once
// The preview's frame store filled from a frame source: every frame of an
// animation, or a video's still with its time line.
#include "formats/FormatTable.h"
#include "FrameSource.h"
#include "WicAnimatedRenderer.h"

#include <memory>

namespace Quivane {

class SourceRenderer : public WicAnimatedRenderer {
public:
    explicit SourceRenderer(const FormatRow& format, const StopToken& stop = {}) : format(format), stop(stop) {}

    HRESULT DecodeStream(IStream* stream) override;
    bool IsTimeBased() const override { return duration > 0; }
    std::uint64_t GetDuration() const override { return duration; }
    std::uint64_t GetPosition() const override { return position; }
    HRESULT LoadAtPosition(IStream* stream, std::uint64_t target) override;

private:
    [[nodiscard]] HRESULT OpenSource(IStream* stream, std::unique_ptr<FrameSource>& source);
    [[nodiscard]] HRESULT AppendPixels(const FramePixels& frame);

    const FormatRow& format;
    StopToken stop; // what its sources poll; polled only while a load runs
    std::uint64_t duration = 0;
    std::uint64_t position = 0;
};

// A renderer for the format whose loads give up once `stop` says so, or null when out of memory.
std::unique_ptr<IAnimatedRenderer> CreateRenderer(const FormatRow& format, const StopToken& stop = {});

} // namespace Quivane
