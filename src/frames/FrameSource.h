#pragma once
// A decoder that only decodes: it answers what the file holds and hands out
// finished frames as pixels. It knows no screen and keeps no frame it was not
// asked for; whoever shows the frames decides what to keep.
#include "FramePixels.h"
#include "MediaFacts.h"
#include "platform/StopResult.h"
#include "platform/StopToken.h"

#include <windows.h>
#include <objidl.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Quivane {

// Where composition stood between two frames: the canvas as the next frame
// finds it. Resuming from one skips composing everything before it again.
struct FrameCheckpoint {
    std::uint32_t nextFrame = 0;
    std::vector<std::uint8_t> canvas;
};

// A composited frame lent for the length of one call: the pixels are the
// source's own and change once the call returns.
struct FrameView {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const std::uint8_t* pixels = nullptr;
    std::uint32_t delayMs = 100;
    std::size_t Stride() const { return static_cast<std::size_t>(width) * 4; }
};

// Where a scaled frame goes: pixels for width x height premultiplied BGRA,
// rows `stride` bytes apart.
struct ScaledFrameTarget {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
};

// Given the canvas's size and the frame's delay, makes the target the frame is
// scaled into; a failure ends the scaling with it.
using ScaledFrameChooser = std::function<HRESULT(std::uint32_t canvasWidth, std::uint32_t canvasHeight,
                                                 std::uint32_t delayMs, ScaledFrameTarget& target)>;

// A still picture's rows as they are decoded: `begin` hears the canvas's size
// and the frame's delay first (its failure ends the reading), then `take` gets
// each row the image covers, top to bottom: `count` pixels of premultiplied
// BGRA from column `left` on, the rest of the row (and any row not given)
// transparent. The row's pixels are lent for the call.
using FrameRowsBegin = std::function<HRESULT(std::uint32_t width, std::uint32_t height, std::uint32_t delayMs)>;
using FrameRowTaker =
    std::function<void(std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count)>;

// A whole file read into memory, shared by whoever reads it.
using FileBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

class FrameSource {
public:
    // `stop` is polled while the source parses and composes: a stopped
    // source fails with StopResult (WAIT_TIMEOUT once its deadline has
    // passed, else ERROR_CANCELLED). The default never stops.
    explicit FrameSource(const StopToken& stop = {}) : stop_(stop) {}
    virtual ~FrameSource() = default;

    // Reads what the file says about itself (size, frame count) without
    // decoding its pictures. The stream must outlive the source.
    [[nodiscard]] virtual HRESULT Open(IStream* stream) = 0;
    // The same from the file's bytes already in memory: a source that parses
    // bytes keeps a share of them rather than a copy of its own. The default
    // reads them through a stream over that share, which the source keeps.
    [[nodiscard]] virtual HRESULT OpenBytes(const FileBytes& bytes);
    virtual std::uint32_t FrameCount() const = 0;
    // Frame `index`, composited. Asking for frames in order costs one frame
    // each; asking for an earlier frame composes again from the start.
    [[nodiscard]] virtual HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) = 0;
    // Frame `index` handed to `use` where it stands: a source that composes
    // on a canvas of its own lends the canvas, so a huge one is never copied.
    // Returns what `use` returns.
    [[nodiscard]] virtual HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) {
        FramePixels frame;
        const HRESULT hr = ReadFrame(index, frame);
        if (FAILED(hr)) return hr;
        return use(FrameView{frame.width, frame.height, frame.pixels.data(), frame.delayMs});
    }

    // Frame `index` scaled by the area scaler into the target `choose` makes.
    // A picture of one still image streams its decoded rows into the scaler
    // and never holds the whole canvas; any other composes the frame as
    // UseFrame does and scales the canvas.
    [[nodiscard]] virtual HRESULT ScaleFrame(std::uint32_t index, const ScaledFrameChooser& choose);

    // A picture of one still image, row by row as FrameRowTaker says, never
    // holding the whole canvas: a picture too large for memory still passes.
    // E_NOTIMPL for any other picture (its frames are read instead).
    [[nodiscard]] virtual HRESULT StreamRows(const FrameRowsBegin& begin, const FrameRowTaker& take) {
        (void)begin;
        (void)take;
        return E_NOTIMPL;
    }

    // Whether any frame costs one frame to read, wherever the source stands
    // (the platform composes it, or there is nothing to compose).
    virtual bool ReadsAnyFrameDirectly() const { return true; }
    // After ReadFrame(k): the state from which frame k + 1 is composed.
    // Fails with E_NOTIMPL for sources that read any frame directly.
    [[nodiscard]] virtual HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const {
        (void)checkpoint;
        return E_NOTIMPL;
    }
    // The next ReadFrame of frame checkpoint.nextFrame or later starts from
    // the checkpoint instead of from the first frame.
    [[nodiscard]] virtual HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) {
        (void)checkpoint;
        return E_NOTIMPL;
    }
    // The latest frame at or before `index` known to need no earlier frame (it
    // covers the whole canvas opaquely and its disposal keeps nothing from
    // before it): a checkpoint that costs nothing to keep. 0 when none is known.
    virtual std::uint32_t SelfContainedFrameAtOrBefore(std::uint32_t index) const {
        (void)index;
        return 0;
    }
    // The next ReadFrame of frame `index`, such a frame, or later starts there.
    [[nodiscard]] virtual HRESULT ResumeAtSelfContainedFrame(std::uint32_t index) {
        (void)index;
        return E_NOTIMPL;
    }

    // A video is one still on a time line: frame 0 is its representative still.
    virtual bool IsVideo() const { return false; }
    virtual std::uint64_t Duration() const { return 0; }
    // The first frame at or after `position` (100-ns units), and where it stands.
    [[nodiscard]] virtual HRESULT ReadStillAt(std::uint64_t position, FramePixels& frame, std::uint64_t& shownPosition) {
        (void)position;
        (void)frame;
        shownPosition = 0;
        return E_NOTIMPL;
    }
    // Where the still that frame 0 read stands; 0 before it was read.
    virtual std::uint64_t ShownPosition() const { return 0; }
    // What the source learnt of its media for people (a video's codec), even
    // when opening it failed after that; the format and size are the caller's.
    virtual void DescribeMedia(MediaFacts& facts) const { (void)facts; }

protected:
    const StopToken& Stop() const { return stop_; }
    // What a source that has stopped returns.
    [[nodiscard]] HRESULT Stopped() const { return StopResult(stop_); }

private:
    StopToken stop_;
    Microsoft::WRL::ComPtr<IStream> bytesStream_; // what the default OpenBytes reads
};

// For sources that parse the file's bytes: reads the stream whole into
// memory and opens `source` from there.
[[nodiscard]] HRESULT OpenFromWholeStream(FrameSource& source, IStream* stream);

// `frame` becomes a copy of the lent frame.
[[nodiscard]] HRESULT CopyFrame(const FrameView& view, FramePixels& frame);

} // namespace Quivane
