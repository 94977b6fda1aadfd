// Frame sources asked for frame k directly, or lending it, give what a full
// decode in order gives, for every animated format; a hostile GIF ends in a picture or a failure.
#include "ApngBuilder.h"
#include "GifBuilder.h"
#include "LongPictures.h"
#include "TestSupport.h"
#include "imaging/CanvasLimits.h"
#include "frames/FrameFeeder.h"
#include "formats/FormatTable.h"
#include "frames/FrameSource.h"
#include "platform/HResult.h"
#include "platform/SharedBytesStream.h"
#include "platform/WicImaging.h"
#include "PngWriter.h"
#include "formats/png/PngChunks.h"
#include "formats/FormatSources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::unique_ptr<FrameSource> Opened(ComPtr<IStream>& stream, const std::vector<std::uint8_t>& bytes) {
    stream = StreamFromBytes(bytes);
    const FormatRow* format = ChooseFormatForStream(stream.Get(), L"");
    if (format == nullptr) return nullptr;
    std::unique_ptr<FrameSource> source = CreateFrameSource(*format);
    if (!source || FAILED(source->Open(stream.Get()))) return nullptr;
    return source;
}

// More local colour tables than frames composed unseen can keep apart: each
// frame paints one pixel of a 4x4 canvas in a table of its own.
std::vector<std::uint8_t> GifOfManyTables(int frames) {
    GifBuilder gif(4, 4, {{0, 0, 0}});
    for (int i = 0; i < frames; ++i) {
        GifFrameSpec pixel = SolidFrame(static_cast<std::uint16_t>(i % 4), static_cast<std::uint16_t>(i / 4 % 4), 1, 1, 1);
        pixel.localPalette = {{0, 0, 0}, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2), 200}};
        gif.AddFrame(pixel);
    }
    return gif.Build();
}

} // namespace

TEST(FrameSource, FrameKAloneEqualsTheKthOfADecodeInOrder) {
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"gif restore-previous", ReadFileBytes(ConformancePath("gif/gifs/animated_transparent_frame_restoreprev_loop.gif"))},
        {"gif out of bounds", ReadFileBytes(ConformancePath("gif/gifs/animated_transparent_loop_frames_out_of_bounds.gif"))},
        {"apng dispose previous", ReadFileBytes(ConformancePath("apng/dispose_op_previous.png"))},
        {"apng blend", ReadFileBytes(ConformancePath("apng/blend_op_over.png"))},
        {"webp", SourceTreeFile("tests/fixtures/webp/anim-lossy.webp")},
        {"webp blend and dispose", SourceTreeFile("tests/fixtures/webp/anim-blend.webp")},
        {"sample gif", SourceTreeFile("samples/bouncing_ball.gif")},
        {"gif of 300 colour tables", GifOfManyTables(300)},
    };
    for (const auto& [label, bytes] : files) {
        ComPtr<IStream> inOrderStream;
        const auto inOrder = Opened(inOrderStream, bytes);
        ASSERT_NE(inOrder, nullptr) << label;
        const std::uint32_t count = inOrder->FrameCount();
        ASSERT_GE(count, 2u) << label;
        std::vector<FramePixels> frames(count);
        for (std::uint32_t i = 0; i < count; ++i) ASSERT_EQ(inOrder->ReadFrame(i, frames[i]), S_OK) << label;

        for (std::uint32_t k : {count - 1, count / 2, 1u, 0u}) { // backwards too: each step starts over
            ComPtr<IStream> directStream;
            const auto direct = Opened(directStream, bytes);
            ASSERT_NE(direct, nullptr) << label;
            FramePixels frame;
            ASSERT_EQ(direct->ReadFrame(k, frame), S_OK) << label << " frame " << k;
            EXPECT_EQ(frame.pixels, frames[k].pixels) << label << " frame " << k;
            EXPECT_EQ(frame.delayMs, frames[k].delayMs) << label << " frame " << k;
            FramePixels again;
            ASSERT_EQ(inOrder->ReadFrame(k, again), S_OK);
            EXPECT_EQ(again.pixels, frames[k].pixels) << label << " frame " << k << " asked again";

            // Lent where it stands; a use that fails is handed back, and composing goes on from there.
            std::vector<std::uint8_t> lent;
            ASSERT_EQ(direct->UseFrame(k, [&](const FrameView& view) {
                lent.assign(view.pixels, view.pixels + view.Stride() * view.height);
                return k == 0 ? S_OK : E_ABORT;
            }), k == 0 ? S_OK : E_ABORT) << label;
            EXPECT_EQ(lent, frames[k].pixels) << label << " frame " << k << " lent";
            ASSERT_EQ(direct->ReadFrame(count - 1, frame), S_OK);
            EXPECT_EQ(frame.pixels, frames[count - 1].pixels) << label << " last frame after frame " << k << " was lent";
        }
        FramePixels none;
        EXPECT_EQ(inOrder->ReadFrame(count, none), E_INVALIDARG) << label;
    }
}

// A frame that covers the whole canvas opaquely and keeps nothing of it is a
// checkpoint for nothing: composing on from it gives what composing from the
// first frame gives. Frames that let something through, or put the canvas
// back afterwards, are not.
TEST(FrameSource, ComposingOnFromASelfContainedFrameEqualsComposingFromTheStart) {
    GifBuilder gif(16, 16, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}});
    gif.AddFrame(SolidFrame(0, 0, 16, 16, 1));
    gif.AddFrame(SolidFrame(2, 2, 4, 4, 2));
    gif.AddFrame(SolidFrame(0, 0, 16, 16, 3)); // 2: self-contained
    GifFrameSpec restored = SolidFrame(5, 5, 4, 4, 1);
    restored.disposal = 3;
    gif.AddFrame(restored);
    GifFrameSpec seeThrough = SolidFrame(0, 0, 16, 16, 2);
    seeThrough.indices[17] = 0;
    seeThrough.transparentIndex = 0;
    gif.AddFrame(seeThrough); // 4: one pixel lets the canvas through
    GifFrameSpec putBack = SolidFrame(0, 0, 16, 16, 1);
    putBack.disposal = 3;
    gif.AddFrame(putBack); // 5: the canvas before it comes back
    gif.AddFrame(SolidFrame(8, 8, 3, 3, 3));

    const std::vector<std::uint8_t> blue = SolidImageData(8, 8, {0, 0, 255, 255});
    const std::vector<std::uint8_t> halfGreen = SolidImageData(8, 8, {0, 255, 0, 128});
    const std::vector<std::uint8_t> halfRed = SolidImageData(8, 8, {255, 0, 0, 96});
    ApngBuilder apng(8, 8);
    apng.Frame(blue).Frame(halfGreen).Frame(halfRed, 0).Frame(halfGreen).Frame(halfRed).Frame(halfGreen).Frame(halfRed);

    struct Case {
        std::string label;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> notSelfContained;
    };
    for (const Case& file : {Case{"gif", gif.Build(), {1, 3, 4, 5, 6}}, Case{"apng", apng.Build(), {1, 3, 4, 5, 6}}}) {
        ComPtr<IStream> stream;
        const auto source = Opened(stream, file.bytes);
        ASSERT_NE(source, nullptr) << file.label;
        ASSERT_EQ(source->FrameCount(), 7u) << file.label;
        std::vector<FramePixels> frames(7);
        for (std::uint32_t i = 0; i < 7; ++i) ASSERT_EQ(source->ReadFrame(i, frames[i]), S_OK) << file.label;

        EXPECT_EQ(source->SelfContainedFrameAtOrBefore(1), 0u) << file.label;
        EXPECT_EQ(source->SelfContainedFrameAtOrBefore(6), 2u) << file.label;
        for (std::uint32_t index : file.notSelfContained) {
            EXPECT_EQ(source->ResumeAtSelfContainedFrame(index), E_INVALIDARG) << file.label << " frame " << index;
        }
        ASSERT_EQ(source->ResumeAtSelfContainedFrame(2), S_OK) << file.label;
        for (std::uint32_t i = 2; i < 7; ++i) {
            FramePixels frame;
            ASSERT_EQ(source->ReadFrame(i, frame), S_OK) << file.label << " frame " << i;
            EXPECT_EQ(frame.pixels, frames[i].pixels) << file.label << " frame " << i;
        }
    }
}

// Nothing to show is damage, told apart from a picture that is only
// transparent: a file none of whose images decodes a pixel fails with the
// HRESULT for damaged data, by the time its first frame is read.
TEST(FrameSource, AFileFromWhichNothingDecodesFailsAsDamaged) {
    const auto firstFrame = [](const std::vector<std::uint8_t>& bytes, FramePixels& frame) {
        ComPtr<IStream> stream = StreamFromBytes(bytes);
        const FormatRow* format = ChooseFormatForStream(stream.Get(), L"");
        if (format == nullptr) return E_UNEXPECTED;
        std::unique_ptr<FrameSource> source = CreateFrameSource(*format);
        RETURN_IF_FAILED(source->Open(stream.Get()));
        return source->ReadFrame(0, frame);
    };
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> damaged;
    for (const NamedGif& gif : GifsWithNothingToShow()) damaged.emplace_back("gif: " + gif.name, gif.bytes);
    std::vector<std::uint8_t> noise(300);
    std::uint32_t state = 5;
    for (std::uint8_t& byte : noise) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    damaged.emplace_back("apng: random bytes as its frame's data", ApngBuilder(16, 16).Frame(noise).Build());
    damaged.emplace_back("apng: empty image data", ApngBuilder(16, 16).Frame(std::vector<std::uint8_t>{}).Build());
    damaged.emplace_back("apng: no image data", ApngBuilder(16, 16).Frame(std::nullopt).Build());
    damaged.emplace_back("apng: default image and first frame damaged",
                         ApngBuilder(16, 16).DefaultImage(noise).Frame(DamagedImageData()).Build());
    damaged.emplace_back("png: random bytes as its image data", ApngBuilder(16, 16, false).DefaultImage(noise).Build());
    auto webp = SourceTreeFile("tests/fixtures/webp/anim-lossless.webp");
    ASSERT_GT(webp.size(), 64u);
    for (std::size_t i = 40; i < webp.size(); ++i) webp[i] = noise[i % noise.size()];
    damaged.emplace_back("webp: random bytes after its header", webp);
    for (const auto& [name, bytes] : damaged) {
        FramePixels frame;
        EXPECT_EQ(firstFrame(bytes, frame), WINCODEC_ERR_BADIMAGE) << name;
    }

    // Transparent pixels that decode are a picture: 1x1 frames on a large canvas.
    GifFrameSpec clear = SolidFrame(0, 0, 1, 1, 1);
    clear.transparentIndex = 1;
    GifBuilder gif(1500, 1000, {{0, 0, 0}, {255, 0, 0}});
    gif.AddFrame(clear);
    clear.left = 1499;
    clear.top = 999;
    gif.AddFrame(clear);
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> transparent = {
        {"gif of 1x1 transparent frames", gif.Build()},
        {"apng of transparent frames", ApngBuilder(600, 400).Frame(SolidImageData(600, 400, {0, 0, 0, 0})).Build()},
        {"apng whose damaged default image is not shown",
         ApngBuilder(600, 400).DefaultImage(DamagedImageData()).Frame(SolidImageData(600, 400, {0, 0, 0, 0})).Build()},
    };
    for (const auto& [name, bytes] : transparent) {
        FramePixels frame;
        ASSERT_EQ(firstFrame(bytes, frame), S_OK) << name;
        EXPECT_TRUE(frame.width >= 600 && frame.height >= 400) << name;
        EXPECT_TRUE(std::all_of(frame.pixels.begin(), frame.pixels.end(), [](std::uint8_t b) { return b == 0; })) << name;
    }
}

TEST(FrameSource, HostileGifsEndInAPictureOrAFailure) {
    // A 1x1 screen with an image 32000 wide: only the pixel on the screen is ever converted.
    GifFrameSpec wide = SolidFrame(0, 0, 32000, 1, 1);
    std::vector<std::uint8_t> oversized = GifBuilder(1, 1, {{0, 0, 0}, {0, 0, 255}}).AddFrame(wide).Build();
    ComPtr<IStream> stream;
    FramePixels frame;
    auto source = Opened(stream, oversized);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(source->ReadFrame(0, frame), S_OK);
    EXPECT_EQ(frame.width, 1u);
    EXPECT_EQ(frame.pixels.size(), 4u);

    // An animation on a screen larger than memory allows (17 GB a canvas) is
    // refused before a byte of it is allocated; one image there needs only its rows.
    GifBuilder huge(65535, 65535, {{0, 0, 0}, {0, 0, 255}});
    huge.AddFrame(SolidFrame(0, 0, 1, 1, 1)).AddFrame(SolidFrame(1, 1, 1, 1, 1));
    source = Opened(stream, huge.Build());
    EXPECT_EQ(source, nullptr);
    source = Opened(stream, GifBuilder(65535, 65535, {{0, 0, 0}, {0, 0, 255}}).AddFrame(SolidFrame(0, 0, 1, 1, 1)).Build());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->ReadFrame(0, frame), E_OUTOFMEMORY); // the whole picture for saving is still a canvas
}

namespace {

std::vector<std::uint8_t> PngWithHeader(std::uint32_t width, std::uint32_t height, std::uint8_t interlace,
                                        bool animated) {
    std::vector<std::uint8_t> png(std::begin(kPngSignature), std::end(kPngSignature));
    std::uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 6, 0, 0, interlace}; // RGBA
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        header[4 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    AppendPngChunk(png, "IHDR", header, sizeof(header));
    if (animated) {
        const std::uint8_t animation[8] = {0, 0, 0, 2, 0, 0, 0, 0};
        AppendPngChunk(png, "acTL", animation, sizeof(animation));
        std::uint8_t frame[26] = {};
        std::copy(header, header + 8, frame + 4); // the whole canvas
        frame[21] = 10;                           // a delay of 0/10 s
        AppendPngChunk(png, "fcTL", frame, sizeof(frame));
    }
    const std::uint8_t data[] = {0x78, 0x9c, 0x63, 0, 0, 0, 1, 0, 1};
    AppendPngChunk(png, "IDAT", data, sizeof(data));
    AppendPngChunk(png, "IEND", nullptr, 0);
    return png;
}

HRESULT OpenResult(const std::vector<std::uint8_t>& bytes) {
    const ComPtr<IStream> stream = StreamFromBytes(bytes);
    const auto source = CreateFrameSource(*ChooseFormatForStream(stream.Get(), L""));
    return source->Open(stream.Get());
}

} // namespace

TEST(FrameSource, APngIsRefusedOnlyWhenMemoryCannotHoldWhatItNeeds) {
    // A still picture needs its rows: 2^31 - 1 pixels wide they would not fit.
    EXPECT_EQ(OpenResult(PngWithHeader(0x7FFFFFFF, 2, 0, false)), E_OUTOFMEMORY);
    EXPECT_EQ(OpenResult(PngWithHeader(40000, 40000, 0, false)), S_OK);
    // Interlaced rows come in passes, and an animation composes: both need the
    // whole canvas, and 6.4 GB is past what one canvas may be on any machine.
    EXPECT_EQ(OpenResult(PngWithHeader(40000, 40000, 1, false)), E_OUTOFMEMORY);
    EXPECT_EQ(OpenResult(PngWithHeader(40000, 40000, 0, true)), E_OUTOFMEMORY);
}

TEST(FrameSource, AStillPictureLongerThanAnyCanvasStreamsItsRows) {
    const std::vector<std::tuple<std::string, std::vector<std::uint8_t>, std::uint32_t, std::uint32_t>> pictures = {
        {"png", LongPng(20000, 64), 20000, 64},
        {"png", LongPng(64, 20000), 64, 20000},
        {"gif", LongGif(20000, 64), 20000, 64},
        {"gif", LongGif(64, 20000), 64, 20000},
    };
    for (const auto& [kind, bytes, width, height] : pictures) {
        SCOPED_TRACE(testing::Message() << kind << " " << width << "x" << height);
        ComPtr<IStream> stream;
        auto source = Opened(stream, bytes);
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(source->FrameCount(), 1u);

        // A thumbnail's size, from the rows as they are decoded.
        const std::uint32_t longer = 256, shorter = 1;
        std::vector<std::uint8_t> scaled;
        ASSERT_EQ(source->ScaleFrame(0, [&](std::uint32_t canvasWidth, std::uint32_t canvasHeight, std::uint32_t,
                                            ScaledFrameTarget& target) {
            EXPECT_EQ(canvasWidth, width);
            EXPECT_EQ(canvasHeight, height);
            target.width = width > height ? longer : shorter;
            target.height = width > height ? shorter : longer;
            target.stride = std::size_t{target.width} * 4;
            scaled.resize(target.stride * target.height);
            target.pixels = scaled.data();
            return S_OK;
        }), S_OK);
        EXPECT_TRUE(ShowsTheQuarters(scaled.data(), width > height ? longer : shorter, width > height ? shorter : longer));

        // The preview keeps it reduced to the longest side a bitmap may be drawn at.
        auto store = std::make_shared<FrameStore>(source->FrameCount());
        FrameFeeder feeder(*source, store, kDefaultFrameBudgetBytes);
        ASSERT_EQ(feeder.ReadFirstFrame(), S_OK);
        EXPECT_TRUE(feeder.KeepsReducedFrames());
        EXPECT_EQ(feeder.CanvasWidth(), width);
        const auto kept = store->Frame(0);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(std::max(kept->width, kept->height), kMaxCanvasSide);
        EXPECT_TRUE(ShowsTheQuarters(kept->pixels.data(), kept->width, kept->height));

        // Saving and copying read it at full size.
        FramePixels whole;
        ASSERT_EQ(source->ReadFrame(0, whole), S_OK);
        ASSERT_EQ(whole.width, width);
        ASSERT_EQ(whole.height, height);
        EXPECT_TRUE(ShowsTheQuarters(whole.pixels.data(), width, height));
    }
}

namespace {

// A width x height picture of noise in `format`, encoded by the platform's PNG
// encoder; indexed formats get a palette with translucent entries.
std::vector<std::uint8_t> PlatformPng(IWICImagingFactory* factory, const GUID& format, UINT bitsPerPixel, bool interlaced) {
    const UINT width = 23, height = 17;
    const UINT stride = (width * bitsPerPixel + 7) / 8;
    std::vector<std::uint8_t> pixels(static_cast<size_t>(stride) * height);
    std::uint32_t state = 99;
    for (std::uint8_t& byte : pixels) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    ComPtr<IWICBitmap> bitmap;
    EXPECT_EQ(factory->CreateBitmapFromMemory(width, height, format, stride, static_cast<UINT>(pixels.size()),
                                              pixels.data(), &bitmap),
              S_OK);
    ComPtr<IWICBitmapEncoder> encoder;
    EXPECT_EQ(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), S_OK);
    ComPtr<IStream> stream = StreamFromBytes({});
    EXPECT_EQ(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    EXPECT_EQ(encoder->CreateNewFrame(&frame, &options), S_OK);
    if (interlaced) {
        PROPBAG2 option = {};
        option.pstrName = const_cast<LPOLESTR>(L"InterlaceOption");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = VARIANT_TRUE;
        EXPECT_EQ(options->Write(1, &option, &value), S_OK);
    }
    EXPECT_EQ(frame->Initialize(options.Get()), S_OK);
    if (bitsPerPixel <= 8 && format != GUID_WICPixelFormat8bppGray) {
        std::vector<WICColor> colours(1u << bitsPerPixel);
        for (size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<WICColor>(i * 0x3F1F2B17u);
        ComPtr<IWICPalette> palette;
        EXPECT_EQ(factory->CreatePalette(&palette), S_OK);
        EXPECT_EQ(palette->InitializeCustom(colours.data(), static_cast<UINT>(colours.size())), S_OK);
        EXPECT_EQ(bitmap->SetPalette(palette.Get()), S_OK);
        EXPECT_EQ(frame->SetPalette(palette.Get()), S_OK);
    }
    WICPixelFormatGUID written = format;
    EXPECT_EQ(frame->SetPixelFormat(&written), S_OK);
    EXPECT_EQ(frame->SetSize(width, height), S_OK);
    EXPECT_EQ(frame->WriteSource(bitmap.Get(), nullptr), S_OK);
    EXPECT_EQ(frame->Commit(), S_OK);
    EXPECT_EQ(encoder->Commit(), S_OK);
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<std::uint8_t> png(static_cast<size_t>(stat.cbSize.QuadPart));
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(png.data(), static_cast<ULONG>(png.size()), &read);
    return png;
}

// The picture as the platform's PNG decoder and premultiplying converter give it.
HRESULT PlatformPicture(IWICImagingFactory* factory, const std::vector<std::uint8_t>& png, Pixels& out) {
    const ComPtr<IStream> stream = StreamFromBytes(png);
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(CreateDecoder(factory, stream.Get(), decoder));
    ComPtr<IWICBitmapFrameDecode> frame;
    RETURN_IF_FAILED(decoder->GetFrame(0, &frame));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(CreateConverter(factory, frame.Get(), GUID_WICPixelFormat32bppPBGRA, converter));
    RETURN_IF_FAILED(converter->GetSize(&out.width, &out.height));
    return CopyPixelsToBuffer(converter.Get(), nullptr, out.width * 4, out.height, out.bytes);
}

} // namespace

TEST(FrameSource, APlainPngOfEveryLayoutDecodesAsThePlatformDecodesIt) {
    ComPtr<IWICImagingFactory> factory;
    ASSERT_EQ(CreateImagingFactory(factory), S_OK);
    const std::pair<GUID, UINT> formats[] = {
        {GUID_WICPixelFormatBlackWhite, 1}, {GUID_WICPixelFormat8bppGray, 8},   {GUID_WICPixelFormat16bppGray, 16},
        {GUID_WICPixelFormat24bppBGR, 24},  {GUID_WICPixelFormat32bppBGRA, 32}, {GUID_WICPixelFormat48bppRGB, 48},
        {GUID_WICPixelFormat64bppRGBA, 64}, {GUID_WICPixelFormat1bppIndexed, 1}, {GUID_WICPixelFormat2bppIndexed, 2},
        {GUID_WICPixelFormat4bppIndexed, 4}, {GUID_WICPixelFormat8bppIndexed, 8},
    };
    for (const auto& [format, bits] : formats) {
        for (bool interlaced : {false, true}) {
            const std::vector<std::uint8_t> png = PlatformPng(factory.Get(), format, bits, interlaced);
            Pixels expected;
            ASSERT_EQ(PlatformPicture(factory.Get(), png, expected), S_OK) << bits << " bits";
            ComPtr<IStream> stream;
            const auto source = Opened(stream, png);
            ASSERT_NE(source, nullptr) << bits << " bits";
            FramePixels frame;
            ASSERT_EQ(source->ReadFrame(0, frame), S_OK);
            EXPECT_EQ(frame.width, expected.width);
            EXPECT_EQ(frame.pixels, expected.bytes) << bits << " bits, interlaced " << interlaced;
        }
    }
}

TEST(FrameSource, OpenedFromSharedBytesItReadsWhatAStreamGivesAndKeepsNoCopyOfItsOwn) {
    // WebP reads them through a stream over the same share.
    for (const char* path : {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/bouncing_ball.webp"}) {
        auto bytes = std::make_shared<const std::vector<std::uint8_t>>(SourceTreeFile(path));
        ComPtr<IStream> stream;
        const auto fromStream = Opened(stream, *bytes);
        ASSERT_NE(fromStream, nullptr) << path;
        const auto fromBytes = CreateFrameSource(*ChooseFormatForStream(stream.Get(), L""));
        ASSERT_EQ(fromBytes->OpenBytes(bytes), S_OK) << path;
        EXPECT_EQ(bytes.use_count(), 2) << path;
        FramePixels expected, frame;
        ASSERT_EQ(fromStream->ReadFrame(1, expected), S_OK) << path;
        ASSERT_EQ(fromBytes->ReadFrame(1, frame), S_OK) << path;
        EXPECT_EQ(frame.pixels, expected.pixels) << path;
    }
    EXPECT_EQ(CreateFrameSource(*ChooseFormatForStream(StreamFromBytes({'G', 'I', 'F'}).Get(), L"a.gif"))->OpenBytes(nullptr),
              E_POINTER);
}

TEST(FrameSource, AStreamOverSharedBytesReadsSeeksAndClonesButNeverWrites) {
    const auto bytes = std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateSharedBytesStream(bytes, &stream), S_OK);
    std::uint8_t got[8] = {};
    ULONG read = 0;
    EXPECT_EQ(stream->Read(got, 2, &read), S_OK);
    EXPECT_EQ(read, 2u);
    ComPtr<IStream> clone;
    ASSERT_EQ(stream->Clone(&clone), S_OK); // at the same place, moving on its own
    EXPECT_EQ(stream->Read(got, 8, &read), S_FALSE);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(got[0], 3);
    EXPECT_EQ(clone->Read(got, 1, &read), S_OK);
    EXPECT_EQ(got[0], 3);

    ULARGE_INTEGER at = {};
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{{100, 0}}, STREAM_SEEK_SET, &at), S_OK); // past the end reads nothing
    EXPECT_EQ(stream->Read(got, 1, &read), S_FALSE);
    EXPECT_EQ(read, 0u);
    LARGE_INTEGER back = {};
    back.QuadPart = -6;
    EXPECT_EQ(stream->Seek(back, STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
    back.QuadPart = -1;
    ASSERT_EQ(stream->Seek(back, STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(at.QuadPart, 4u);
    STATSTG stat = {};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 5u);
    ULONG written = 1;
    EXPECT_EQ(stream->Write(got, 1, &written), STG_E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(bytes.use_count(), 3);
    EXPECT_EQ(CreateSharedBytesStream(nullptr, &stream), E_POINTER);
}

TEST(FrameSourceFailures, APngWithoutItsHeaderChunkIsDamaged) {
    const std::vector<std::uint8_t> headless = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0,
                                                'I',  'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    const auto source = CreateFrameSource(*FormatForName(L"a.png"));
    EXPECT_EQ(source->Open(StreamFromBytes(headless).Get()), WINCODEC_ERR_BADIMAGE);
}
