// APNG files assembled in the test from PNGs the platform encodes: regions
// placed on the canvas, the fallback to the plain path, data that does not fit
// its region, and a decode cancelled while it runs.
#include "ApngBuilder.h"
#include "TestSupport.h"
#include "platform/Failure.h"
#include "platform/WicImaging.h"
#include "PngWriter.h"
#include "formats/png/PngChunks.h"
#include "formats/FormatSources.h"
#include "platform/StopToken.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

// The IDAT data of a width x height opaque PNG of one colour, encoded by the platform.
std::vector<std::uint8_t> EncodedImageData(UINT width, UINT height, std::uint8_t red) {
    ComPtr<IWICImagingFactory> factory;
    EXPECT_EQ(CreateImagingFactory(factory), S_OK);
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i + 2] = red;
        pixels[i + 3] = 255;
    }
    ComPtr<IWICBitmap> bitmap;
    EXPECT_EQ(CreateBitmapFromPixels(factory.Get(), width, height, GUID_WICPixelFormat32bppBGRA, width * 4,
                                     pixels.data(), pixels.size(), bitmap),
              S_OK);
    ComPtr<IStream> stream = StreamFromBytes({});
    ComPtr<IWICBitmapEncoder> encoder;
    EXPECT_EQ(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), S_OK);
    EXPECT_EQ(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    ComPtr<IWICBitmapFrameEncode> frame;
    EXPECT_EQ(encoder->CreateNewFrame(&frame, nullptr), S_OK);
    EXPECT_EQ(frame->Initialize(nullptr), S_OK);
    EXPECT_EQ(frame->WriteSource(bitmap.Get(), nullptr), S_OK);
    EXPECT_EQ(frame->Commit(), S_OK);
    EXPECT_EQ(encoder->Commit(), S_OK);
    std::vector<std::uint8_t> png;
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    png.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(png.data(), static_cast<ULONG>(png.size()), &read);
    ApngParseState state;
    EXPECT_EQ(ParseApngChunks(png.data(), png.size(), state, [] { return false; }), ChunkWalkResult::Ok);
    std::vector<std::uint8_t> data;
    for (const ByteSpan& piece : state.imagePieces) data.insert(data.end(), piece.data, piece.data + piece.size);
    return data;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

struct FrameSpec {
    std::uint32_t width, height, x, y;
    const std::vector<std::uint8_t>* data;
};

// An RGBA APNG of the given canvas: acTL, then an fcTL and fdAT per frame (the
// first frame's data as IDAT).
std::vector<std::uint8_t> Apng(std::uint32_t width, std::uint32_t height, const std::vector<FrameSpec>& frames) {
    std::vector<std::uint8_t> out(std::begin(kPngSignature), std::end(kPngSignature));
    std::vector<std::uint8_t> ihdr;
    Put32(ihdr, width);
    Put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    AppendPngChunk(out, "IHDR", ihdr.data(), ihdr.size());
    std::vector<std::uint8_t> actl;
    Put32(actl, static_cast<std::uint32_t>(frames.size()));
    Put32(actl, 0);
    AppendPngChunk(out, "acTL", actl.data(), actl.size());
    std::uint32_t sequence = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        std::vector<std::uint8_t> fctl;
        Put32(fctl, sequence++);
        Put32(fctl, frames[i].width);
        Put32(fctl, frames[i].height);
        Put32(fctl, frames[i].x);
        Put32(fctl, frames[i].y);
        fctl.insert(fctl.end(), {0, 1, 0, 10, 0, 0}); // 1/10 s, dispose none, blend source
        AppendPngChunk(out, "fcTL", fctl.data(), fctl.size());
        if (i == 0) {
            AppendPngChunk(out, "IDAT", frames[i].data->data(), frames[i].data->size());
        } else {
            std::vector<std::uint8_t> fdat;
            Put32(fdat, sequence++);
            fdat.insert(fdat.end(), frames[i].data->begin(), frames[i].data->end());
            AppendPngChunk(out, "fdAT", fdat.data(), fdat.size());
        }
    }
    AppendPngChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace

TEST(ApngDecode, RegionsComposeAtTheirPlace) {
    const auto full = EncodedImageData(8, 8, 200);
    const auto corner = EncodedImageData(3, 2, 100);
    const SourceFrames read = ReadSourceFrames(L".png", Apng(8, 8, {{8, 8, 0, 0, &full}, {3, 2, 5, 6, &corner}}));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.delays[1], 100u);
    const Pixels& pixels = read.frames[1];
    EXPECT_EQ(pixels.At(4, 4)[2], 200);
    EXPECT_EQ(pixels.At(5, 6)[2], 100);
    EXPECT_EQ(pixels.At(7, 7)[2], 100);
}

TEST(ApngDecode, AllControlsSkippedFallsBackToThePlainPath) {
    const auto full = EncodedImageData(6, 4, 50);
    const SourceFrames read = ReadSourceFrames(L".png", Apng(6, 4, {{0, 4, 0, 0, &full}}));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    EXPECT_EQ(read.delays[0], 80u);
}

TEST(ApngDecode, DataOfAnotherSizeOrAnOverhangingRegionFailsTheFile) {
    const auto small = EncodedImageData(2, 2, 50);
    const auto full = EncodedImageData(6, 4, 50);
    // The rebuilt header says 3x3 but the data holds 2x2: the codec's own failure ends the file.
    const SourceFrames mismatched = ReadSourceFrames(L".png", Apng(6, 4, {{6, 4, 0, 0, &full}, {3, 3, 0, 0, &small}}));
    EXPECT_TRUE(FAILED(mismatched.hr));
    EXPECT_LE(mismatched.frames.size(), 1u); // never the damaged frame
    EXPECT_EQ(ReadSourceFrames(L".png", Apng(6, 4, {{6, 4, 0, 0, &full}, {2, 2, 5, 0, &small}})).hr,
              WINCODEC_ERR_BADIMAGE);
    // A canvas past what one may be on any machine (6.4 GB); a long thin one is no trouble.
    EXPECT_EQ(ReadSourceFrames(L".png", Apng(40000, 40000, {{6, 4, 0, 0, &full}})).hr, E_OUTOFMEMORY);
    EXPECT_EQ(ReadSourceFrames(L".png", Apng(20000, 4, {{6, 4, 0, 0, &full}})).hr, S_OK);
}

TEST(ApngDecode, CancelledWhileCompositingStopsBeforeTheEnd) {
    const auto full = EncodedImageData(900, 900, 120);
    std::vector<FrameSpec> frames(100, FrameSpec{900, 900, 0, 0, &full});
    const auto bytes = std::make_shared<const std::vector<std::uint8_t>>(Apng(900, 900, frames));
    std::atomic<std::uint64_t> generation{1};
    std::atomic<std::uint32_t> composed{0};
    HRESULT hr = E_FAIL;
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const StopToken stop(&generation, 1);
        std::unique_ptr<FrameSource> source = CreateFrameSource(FormatWithExtension(L".png"), stop);
        hr = source ? source->OpenBytes(bytes) : E_OUTOFMEMORY;
        for (std::uint32_t index = 0; SUCCEEDED(hr) && index < source->FrameCount(); ++index) {
            hr = source->UseFrame(index, [](const FrameView&) { return S_OK; });
            if (SUCCEEDED(hr)) composed.store(index + 1);
            // Superseded three frames in, however fast this thread runs.
            while (index == 2 && !stop.ShouldStop()) std::this_thread::yield();
        }
        CoUninitialize();
    });
    const ULONGLONG giveUpAt = GetTickCount64() + 60000;
    while (composed.load() < 3 && GetTickCount64() < giveUpAt) Sleep(1);
    generation.store(2);
    worker.join();
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(composed.load(), 3u);
    // A passed deadline is told apart from a newer load.
    EXPECT_EQ(ReadSourceFrames(L".png", *bytes, StopToken::At(StopToken::Clock::now())).hr,
              HRESULT_FROM_WIN32(WAIT_TIMEOUT));
}

TEST(ApngDecode, AHeaderAfterTheImageDataChangesNothing) {
    const auto first = EncodedImageData(64, 48, 200);
    const auto second = EncodedImageData(64, 48, 100);
    const auto good = Apng(64, 48, {{64, 48, 0, 0, &first}, {64, 48, 0, 0, &second}});
    // A second IHDR just before IEND, larger than the canvas or smaller: both are damage, alike.
    for (const std::uint32_t side : {20000u, 8u}) {
        SCOPED_TRACE(side);
        std::vector<std::uint8_t> ihdr;
        Put32(ihdr, side);
        Put32(ihdr, side);
        ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
        std::vector<std::uint8_t> file(good.begin(), good.end() - 12); // without IEND
        AppendPngChunk(file, "IHDR", ihdr.data(), ihdr.size());
        AppendPngChunk(file, "IEND", nullptr, 0);
        const SourceFrames read = ReadSourceFrames(L".png", file);
        ASSERT_EQ(read.hr, S_OK);
        ASSERT_EQ(read.frames.size(), 2u);
        EXPECT_EQ(read.frames[1].width, 64u);
        EXPECT_EQ(read.frames[1].height, 48u);
        EXPECT_EQ(read.frames[0].At(63, 47)[2], 200);
        EXPECT_EQ(read.frames[1].At(0, 0)[2], 100);
    }
}

TEST(ApngDecode, DataDamagedAfterItsLastRowShowsThePictureAndRecordsNoFailure) {
    auto data = SolidImageData(8, 8, {0, 255, 0, 255});
    data.back() ^= 0xFF; // the checksum after the last row
    ResetFailureRecord();
    const SourceFrames read = ReadSourceFrames(L".png", ApngBuilder(8, 8, false).DefaultImage(data).Build());
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    EXPECT_EQ(read.frames[0].At(4, 4)[1], 255);
    // Nothing failed: a later failure on this thread is not told as having begun here.
    EXPECT_FALSE(RecordedFailure().has_value());
}
