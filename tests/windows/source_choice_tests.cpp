// The frame store, media choice, stream sniffing and the stop token.
#include "GifBuilder.h"
#include "TestSupport.h"
#include "platform/ComAdopt.h"
#include "frames/FrameSource.h"
#include "formats/FormatSources.h"
#include "formats/FormatTable.h"
#include "platform/StopResult.h"
#include "formats/video/VideoStill.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::wstring FormatOf(std::vector<std::uint8_t> bytes, const std::wstring& name = L"") {
    const FormatRow* format = ChooseFormatForStream(StreamFromBytes(bytes).Get(), name);
    return format != nullptr ? format->name : L"(none)";
}

ULONGLONG StreamPosition(IStream* stream) {
    ULARGE_INTEGER position{};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

std::vector<std::uint8_t> ThreeFrameGif() {
    GifBuilder gif(3, 2, {{0, 0, 0}, {255, 0, 0}});
    for (int i = 0; i < 3; ++i) gif.AddFrame(SolidFrame(0, 0, 3, 2, 1));
    return gif.Build();
}

} // namespace

TEST(FormatOfAStream, TheFirstBytesDecideAndTheStreamIsRewound) {
    std::vector<std::uint8_t> webp = {'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'L'};
    auto stream = StreamFromBytes(webp);
    LARGE_INTEGER three{};
    three.QuadPart = 3;
    stream->Seek(three, STREAM_SEEK_SET, nullptr);
    const FormatRow* format = ChooseFormatForStream(stream.Get(), L"misnamed.gif");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(std::wstring(format->name), L"WebP");
    EXPECT_EQ(StreamPosition(stream.Get()), 0u);

    EXPECT_EQ(FormatOf({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}, L"x.mp4"), L"PNG");
    EXPECT_EQ(FormatOf({1, 2, 3, 4, 'f', 't', 'y', 'p', 'm', 'p', '4', '2'}), L"MPEG-4");
    EXPECT_EQ(FormatOf({1, 2, 3}, L"C:\\clips\\Clip.WMV"), L"Windows Media Video"); // unknown bytes: the name
}

TEST(FormatOfAStream, ShortUnreadableAndNullStreamsGoByTheName) {
    EXPECT_EQ(FormatOf({'G', 'I', 'F'}), L"(none)");
    EXPECT_EQ(FormatOf({}), L"(none)");
    EXPECT_EQ(FormatOf({'G', 'I', 'F'}, L"a.gif"), L"GIF");
    const FormatRow* unreadable = ChooseFormatForStream(UnreadableStream().Get(), L"a.png");
    ASSERT_NE(unreadable, nullptr);
    EXPECT_EQ(std::wstring(unreadable->name), L"PNG");
    EXPECT_EQ(ChooseFormatForStream(nullptr, L""), nullptr);
}

TEST(FormatOfAStream, EveryFormatHasADecoder) {
    for (const FormatRow& format : Formats()) {
        EXPECT_NE(CreateFrameSource(format), nullptr) << std::wstring(format.name);
    }
}

TEST(FrameStore, IndicesAreClampedOrRefused) {
    const auto media = StoreMediaOver(SolidFrames(3));
    media->ShowFrame(1000); // past the end: the last frame
    EXPECT_EQ(media->FrameDelay(1), 80u);
    EXPECT_EQ(media->FrameDelay(7), 100u);

    EXPECT_EQ(media->GetFrameBitmap(0, nullptr), E_POINTER);
    IWICBitmapSource* sentinel = reinterpret_cast<IWICBitmapSource*>(0x1);
    EXPECT_EQ(media->GetFrameBitmap(5, &sentinel), E_INVALIDARG);
    EXPECT_EQ(sentinel, nullptr);

    ComPtr<IWICBitmapSource> bitmap;
    ASSERT_EQ(media->GetFrameBitmap(2, &bitmap), S_OK);
    UINT width = 0, height = 0;
    ASSERT_EQ(bitmap->GetSize(&width, &height), S_OK);
    EXPECT_EQ(width, 4u);
    EXPECT_EQ(height, 2u);

    const auto empty = StoreMediaOver({});
    empty->ShowFrame(7); // nothing to show: nothing happens
    EXPECT_EQ(empty->FrameCount(), 0u);
}

TEST(FrameStore, PicturesHaveNoTimelineAndCannotBeSeekedInto) {
    EXPECT_FALSE(StoreMediaOver(SolidFrames(3))->IsTimeBased());
    VideoStill still;
    EXPECT_EQ(ReadVideoStill(FormatWithExtension(L".gif"), StreamFromBytes(ThreeFrameGif()).Get(), 10'000'000, still),
              E_NOTIMPL);
    EXPECT_EQ(ReadVideoStill(FormatWithExtension(L".gif"), StreamFromBytes(ThreeFrameGif()).Get(), std::nullopt, still),
              E_NOTIMPL);
}

TEST(StopToken, AnswersWhyALoadStoppedWithTheLoadersCodes) {
    EXPECT_EQ(StopResult(StopToken{}), HRESULT_FROM_WIN32(ERROR_CANCELLED)); // asked before it stops
    std::atomic<std::uint64_t> generation{7};
    const StopToken superseded(&generation, 7, StopToken::Clock::now() + std::chrono::minutes(10));
    generation.store(8);
    EXPECT_EQ(StopResult(superseded), static_cast<HRESULT>(0x800704C7));
    EXPECT_EQ(StopResult(StopToken::At(StopToken::Clock::now())), static_cast<HRESULT>(0x80070102));
}

TEST(StopToken, ImageDecodeStopsWithTheReasonItStopped) {
    const FormatRow& gif = *FormatForName(L"a.gif");
    std::atomic<std::uint64_t> generation{2};
    FramePixels frame;
    const struct {
        StopToken stop;
        HRESULT ends;
    } cases[] = {{StopToken(&generation, 1), HRESULT_FROM_WIN32(ERROR_CANCELLED)},
                 {StopToken::At(StopToken::Clock::now()), HRESULT_FROM_WIN32(WAIT_TIMEOUT)}};
    for (const auto& stopped : cases) {
        const auto source = CreateFrameSource(gif, stopped.stop);
        ASSERT_EQ(source->Open(StreamFromBytes(ThreeFrameGif()).Get()), S_OK);
        EXPECT_EQ(source->ReadFrame(0, frame), stopped.ends);
    }
    const auto going = CreateFrameSource(gif, StopToken(&generation, 2));
    ASSERT_EQ(going->Open(StreamFromBytes(ThreeFrameGif()).Get()), S_OK);
    EXPECT_EQ(going->ReadFrame(2, frame), S_OK);
}

TEST(AdoptReference, TakesOverTheReferenceItIsHandedAndAddsNone) {
    IStream* raw = SHCreateMemStream(reinterpret_cast<const BYTE*>("four"), 4);
    ASSERT_NE(raw, nullptr);
    raw->AddRef(); // ours, to look at the count once the owner is gone
    {
        ComPtr<IStream> owner;
        AdoptReference(owner, raw);
        EXPECT_EQ(raw->AddRef(), 3u);
        raw->Release();
    }
    EXPECT_EQ(raw->Release(), 0u); // the owner gave back the one reference it took over
}
