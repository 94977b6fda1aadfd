// The preview's frames as a load worker feeds them: the first frame is
// there before the rest, an animation over its budget plays through and back
// with every frame as an unbudgeted decode gives it, and a stopped load ends.
#include "GifBuilder.h"
#include "TestSupport.h"
#include "platform/Direct2D.h"
#include "platform/WicImaging.h"
#include "formats/FormatTable.h"
#include "frames/FrameFeeder.h"
#include "frames/SharedFrameBitmap.h"
#include "frames/StoreMedia.h"
#include "formats/FormatSources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::unique_ptr<FrameSource> Opened(IStream* stream) {
    const FormatRow* format = ChooseFormatForStream(stream, L"");
    if (format == nullptr) return nullptr;
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format);
    if (!source || FAILED(source->Open(stream))) return nullptr;
    return source;
}

// A moving square over 30 frames, disposed each of the three ways in turn,
// so that composing any frame depends on the frames before it.
std::vector<std::uint8_t> LayeredGif() {
    GifBuilder gif(32, 32, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}});
    for (int i = 0; i < 30; ++i) {
        GifFrameSpec frame = SolidFrame(static_cast<std::uint16_t>(i * 3 % 24), static_cast<std::uint16_t>(i * 5 % 24),
                                        8, 8, static_cast<std::uint8_t>(1 + i % 4));
        frame.disposal = static_cast<std::uint8_t>(i % 3 == 0 ? 1 : i % 3 == 1 ? 3 : 2);
        gif.AddFrame(frame);
    }
    return gif.Build();
}

// Holds back every frame after the first until released.
class HoldingSource final : public FrameSource {
public:
    explicit HoldingSource(std::unique_ptr<FrameSource> inner) : inner(std::move(inner)) {}
    HRESULT Open(IStream* stream) override { return inner->Open(stream); }
    std::uint32_t FrameCount() const override { return inner->FrameCount(); }
    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (index > 0) {
            std::unique_lock<std::mutex> lock(mutex);
            released.wait(lock, [this] { return open; });
        }
        return inner->ReadFrame(index, frame);
    }
    bool ReadsAnyFrameDirectly() const override { return inner->ReadsAnyFrameDirectly(); }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        released.notify_all();
    }

private:
    std::unique_ptr<FrameSource> inner;
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
};

bool WaitUntil(const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + 60000;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
    return true;
}

} // namespace

TEST(FrameStore, TheFirstFrameIsThereWhileTheRestAreStillDecoding) {
    const ComPtr<IStream> stream = StreamFromBytes(LayeredGif());
    HoldingSource source(Opened(stream.Get()));
    auto store = std::make_shared<FrameStore>(source.FrameCount());
    StoreMedia media(store);
    FrameFeeder feeder(source, store, kDefaultFrameBudgetBytes);
    ASSERT_EQ(feeder.ReadFirstFrame(), S_OK);
    HRESULT rest = E_FAIL;
    std::thread worker([&] { rest = feeder.FeedRest(); });

    EXPECT_EQ(media.FrameCount(), 30u); // the bar covers the whole animation from the start
    EXPECT_TRUE(media.IsFrameReady(0));
    EXPECT_FALSE(media.IsFrameReady(1));
    ComPtr<IWICBitmapSource> bitmap;
    EXPECT_EQ(media.GetFrameBitmap(1, &bitmap), E_PENDING);
    ASSERT_EQ(media.GetFrameBitmap(0, &bitmap), S_OK);
    // The frame lent without a copy: a rectangle of it reads as the store holds it.
    const WICRect rect = {3, 2, 5, 4};
    std::vector<std::uint8_t> part(5 * 4 * 4);
    ASSERT_EQ(bitmap->CopyPixels(&rect, 20, static_cast<UINT>(part.size()), part.data()), S_OK);
    const auto held = store->Frame(0);
    for (int row = 0; row < 4; ++row) {
        EXPECT_TRUE(std::equal(part.begin() + row * 20, part.begin() + row * 20 + 20,
                               held->pixels.begin() + ((2 + row) * 32 + 3) * 4));
    }
    const WICRect outside = {30, 0, 5, 1};
    EXPECT_EQ(bitmap->CopyPixels(&outside, 20, 20, part.data()), E_INVALIDARG);
    EXPECT_EQ(bitmap->CopyPixels(&rect, 20, 40, part.data()), E_INVALIDARG); // too small a buffer

    source.Release();
    EXPECT_TRUE(WaitUntil([&] { return media.IsFrameReady(29); }));
    worker.join();
    EXPECT_EQ(rest, S_OK); // everything fits: the worker ends once it holds every frame
    EXPECT_EQ(store->HeldFrames(), 30u);
}

TEST(FrameStore, OverItsBudgetAnAnimationPlaysThroughAndBackAsDecodedInOrder) {
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"gif", LayeredGif()}, {"apng", SourceTreeFile("samples/bouncing_ball.png")}};
    for (const auto& [label, bytes] : files) {
        const ComPtr<IStream> referenceStream = StreamFromBytes(bytes);
        const auto reference = Opened(referenceStream.Get());
        ASSERT_NE(reference, nullptr) << label;
        const std::uint32_t count = reference->FrameCount();
        ASSERT_GE(count, 8u) << label;
        std::vector<FramePixels> expected(count);
        for (std::uint32_t i = 0; i < count; ++i) ASSERT_EQ(reference->ReadFrame(i, expected[i]), S_OK) << label;

        // Room for five frames: a window and checkpoints, never the whole animation.
        const std::uint64_t budget = expected[0].pixels.size() * 5;
        const ComPtr<IStream> stream = StreamFromBytes(bytes);
        const auto source = Opened(stream.Get());
        auto store = std::make_shared<FrameStore>(count);
        StoreMedia media(store);
        FrameFeeder feeder(*source, store, budget);
        ASSERT_EQ(feeder.ReadFirstFrame(), S_OK) << label;
        EXPECT_FALSE(feeder.Plan().keepAll) << label;
        HRESULT rest = E_FAIL;
        std::thread worker([&] { rest = feeder.FeedRest(); });

        std::vector<std::uint32_t> order;
        for (std::uint32_t i = 0; i < count; ++i) order.push_back(i);
        for (std::uint32_t i = count; i-- > 0;) order.push_back(i);
        order.push_back(count / 2); // a jump forward
        for (std::uint32_t index : order) {
            media.ShowFrame(index);
            ASSERT_TRUE(WaitUntil([&] { return media.IsFrameReady(index); })) << label << " frame " << index;
            const auto frame = store->Frame(index);
            ASSERT_NE(frame, nullptr) << label << " frame " << index;
            EXPECT_EQ(frame->pixels, expected[index].pixels) << label << " frame " << index;
            EXPECT_EQ(media.FrameDelay(index), expected[index].delayMs) << label << " frame " << index;
            EXPECT_LE(store->HeldBytes(), budget) << label;
        }
        store->Close();
        worker.join();
        EXPECT_EQ(rest, S_OK) << label;
    }
}

TEST(FrameStore, ASupersededLoadStopsFeeding) {
    const ComPtr<IStream> stream = StreamFromBytes(LayeredGif());
    const auto source = Opened(stream.Get());
    auto store = std::make_shared<FrameStore>(source->FrameCount());
    std::atomic<std::uint64_t> generation{1};
    // A window of two frames: the worker waits on the playhead.
    FrameFeeder feeder(*source, store, 1, StopToken(&generation, 1));
    ASSERT_EQ(feeder.ReadFirstFrame(), S_OK);
    HRESULT rest = E_FAIL;
    std::thread worker([&] { rest = feeder.FeedRest(); });
    generation = 2;
    worker.join();
    EXPECT_EQ(rest, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_LE(store->HeldFrames(), 2u);
}

// Notes which frames a source composes, and passes everything else on.
class ComposeLog final : public FrameSource {
public:
    explicit ComposeLog(std::unique_ptr<FrameSource> inner) : inner(std::move(inner)) {}
    HRESULT Open(IStream* stream) override { return inner->Open(stream); }
    std::uint32_t FrameCount() const override { return inner->FrameCount(); }
    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        Note(index);
        return inner->ReadFrame(index, frame);
    }
    HRESULT UseFrame(std::uint32_t index, const std::function<HRESULT(const FrameView&)>& use) override {
        Note(index);
        return inner->UseFrame(index, use);
    }
    bool ReadsAnyFrameDirectly() const override { return inner->ReadsAnyFrameDirectly(); }
    HRESULT SaveCheckpoint(FrameCheckpoint& checkpoint) const override { return inner->SaveCheckpoint(checkpoint); }
    HRESULT ResumeFrom(const FrameCheckpoint& checkpoint) override { return inner->ResumeFrom(checkpoint); }
    std::uint32_t SelfContainedFrameAtOrBefore(std::uint32_t index) const override {
        return inner->SelfContainedFrameAtOrBefore(index);
    }
    HRESULT ResumeAtSelfContainedFrame(std::uint32_t index) override { return inner->ResumeAtSelfContainedFrame(index); }
    std::vector<std::uint32_t> Take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(composed, {});
    }

private:
    void Note(std::uint32_t index) {
        std::lock_guard<std::mutex> lock(mutex);
        composed.push_back(index);
    }
    std::unique_ptr<FrameSource> inner;
    std::mutex mutex;
    std::vector<std::uint32_t> composed;
};

// Moving back to a frame after one that covers the canvas opaquely composes
// from that frame, not from the first, and shows what a decode in order shows.
TEST(FrameStore, MovingBackComposesFromTheLatestFrameThatNeedsNoneBeforeIt) {
    GifBuilder gif(32, 32, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}});
    for (int i = 0; i < 30; ++i) {
        GifFrameSpec frame = i % 10 == 0 ? SolidFrame(0, 0, 32, 32, static_cast<std::uint8_t>(1 + i / 10))
                                         : SolidFrame(static_cast<std::uint16_t>(i * 3 % 24), 4, 8, 8, 4);
        frame.disposal = static_cast<std::uint8_t>(i % 10 == 0 ? 1 : i % 2 == 0 ? 3 : 1);
        gif.AddFrame(frame);
    }
    const std::vector<std::uint8_t> bytes = gif.Build();
    const ComPtr<IStream> referenceStream = StreamFromBytes(bytes);
    const auto reference = Opened(referenceStream.Get());
    ASSERT_NE(reference, nullptr);
    std::vector<FramePixels> expected(30);
    for (std::uint32_t i = 0; i < 30; ++i) ASSERT_EQ(reference->ReadFrame(i, expected[i]), S_OK);

    const ComPtr<IStream> stream = StreamFromBytes(bytes);
    ComposeLog source(Opened(stream.Get()));
    auto store = std::make_shared<FrameStore>(30);
    StoreMedia media(store);
    // Room for the frame shown and the next, and for no canvas saved on the side.
    FrameFeeder feeder(source, store, expected[0].pixels.size());
    ASSERT_EQ(feeder.ReadFirstFrame(), S_OK);
    ASSERT_EQ(feeder.Plan().checkpointEvery, 0u);
    HRESULT rest = E_FAIL;
    std::thread worker([&] { rest = feeder.FeedRest(); });
    for (std::uint32_t index = 0; index < 30; ++index) {
        media.ShowFrame(index);
        ASSERT_TRUE(WaitUntil([&] { return media.IsFrameReady(index); })) << "frame " << index;
    }
    ASSERT_TRUE(WaitUntil([&] { return media.IsFrameReady(0); })); // the window wraps to the first frame
    source.Take();

    media.ShowFrame(25);
    ASSERT_TRUE(WaitUntil([&] { return media.IsFrameReady(25); }));
    EXPECT_EQ(store->Frame(25)->pixels, expected[25].pixels);
    const std::vector<std::uint32_t> composed = source.Take();
    ASSERT_FALSE(composed.empty());
    EXPECT_EQ(composed.front(), 20u);
    EXPECT_TRUE(std::none_of(composed.begin(), composed.end(), [](std::uint32_t index) { return index < 20; }));
    store->Close();
    worker.join();
    EXPECT_EQ(rest, S_OK);
}

TEST(FrameStore, AFrameDrawnAndLetGoIsHeldByNoOneButTheStore) {
    const ComPtr<IStream> stream = StreamFromBytes(LayeredGif());
    const auto source = Opened(stream.Get());
    auto store = std::make_shared<FrameStore>(source->FrameCount());
    FrameFeeder feeder(*source, store, kDefaultFrameBudgetBytes);
    ASSERT_EQ(feeder.ReadFirstFrame(), S_OK);
    StoreMedia media(store);
    {
        ComPtr<ID2D1Factory> factory;
        ASSERT_EQ(CreateDirect2DFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory), S_OK);
        ComPtr<IWICImagingFactory> imaging;
        ASSERT_EQ(CreateImagingFactory(imaging), S_OK);
        ComPtr<IWICBitmap> canvas;
        ASSERT_EQ(imaging->CreateBitmap(64, 64, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &canvas), S_OK);
        ComPtr<ID2D1RenderTarget> target;
        ASSERT_EQ(factory->CreateWicBitmapRenderTarget(canvas.Get(), D2D1::RenderTargetProperties(), &target), S_OK);
        ComPtr<IWICBitmapSource> lent;
        ASSERT_EQ(media.GetFrameBitmap(0, &lent), S_OK);
        ComPtr<ID2D1Bitmap> copy;
        ASSERT_EQ(target->CreateBitmapFromWicBitmap(lent.Get(), nullptr, &copy), S_OK);
        target->BeginDraw();
        target->DrawBitmap(copy.Get());
        ASSERT_EQ(target->EndDraw(), S_OK);
    }
    EXPECT_EQ(store->Frame(0).use_count(), 2); // the store's and this one
}

TEST(ComposedFrameBitmap, PixelsAreComposedOnceWhenFirstReadAndFailuresAreHandedBack) {
    int composed = 0;
    ComPtr<IWICBitmapSource> bitmap;
    ASSERT_EQ(CreateComposedFrameBitmap(2, 1,
                                        [&](FramePixels& frame) {
                                            ++composed;
                                            frame.width = 2;
                                            frame.height = 1;
                                            frame.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
                                            return S_OK;
                                        },
                                        &bitmap),
              S_OK);
    UINT width = 0, height = 0;
    ASSERT_EQ(bitmap->GetSize(&width, &height), S_OK);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(composed, 0); // asking the size costs nothing
    std::uint8_t out[12] = {};
    ASSERT_EQ(bitmap->CopyPixels(nullptr, 8, 8, out), S_OK);
    ASSERT_EQ(bitmap->CopyPixels(nullptr, 8, 8, out), S_OK);
    EXPECT_EQ(composed, 1);
    EXPECT_EQ(out[7], 8);

    ComPtr<IWICBitmapSource> failing;
    ASSERT_EQ(CreateComposedFrameBitmap(2, 1, [](FramePixels&) { return E_OUTOFMEMORY; }, &failing), S_OK);
    EXPECT_EQ(failing->CopyPixels(nullptr, 8, 8, out), E_OUTOFMEMORY);
    ComPtr<IWICBitmapSource> misfit; // composed at another size than it promised
    ASSERT_EQ(CreateComposedFrameBitmap(3, 1,
                                        [](FramePixels& frame) {
                                            frame.width = 2;
                                            frame.height = 1;
                                            frame.pixels.assign(8, 0);
                                            return S_OK;
                                        },
                                        &misfit),
              S_OK);
    EXPECT_EQ(misfit->CopyPixels(nullptr, 12, 12, out), E_UNEXPECTED);
}
