// Thumbnails the way the shell asks for them: through the class factory of
// Quivane.dll itself, IInitializeWithStream on the file's bytes, GetThumbnail.
#include "ApngBuilder.h"
#include "GifBuilder.h"
#include "LongPictures.h"
#include "StallingStream.h"
#include "TestSupport.h"
#include "platform/ServerClasses.h"
#include "thumbnail/ThumbnailPicture.h"
#include "thumbnail/ThumbnailProviderCom.h"
#include "formats/FormatTable.h"

#include <gtest/gtest.h>

#include <thumbcache.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

ComPtr<IThumbnailProvider> ProviderOn(const ComPtr<IStream>& stream) {
    ComPtr<IThumbnailProvider> provider;
    auto factory = ServerClassFactory(CLSID_QuivaneThumbnailProvider);
    EXPECT_TRUE(factory);
    if (!factory) return provider;
    EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IThumbnailProvider), reinterpret_cast<void**>(provider.GetAddressOf())), S_OK);
    ComPtr<IInitializeWithStream> init;
    EXPECT_EQ(provider.As(&init), S_OK);
    EXPECT_EQ(init->Initialize(stream.Get(), STGM_READ), S_OK);
    return provider;
}

ComPtr<IThumbnailProvider> Provider(const std::vector<std::uint8_t>& bytes) { return ProviderOn(StreamFromBytes(bytes)); }

struct Thumbnail {
    HRESULT hr = E_FAIL;
    Pixels pixels; // B G R A, premultiplied
};

Thumbnail Take(IThumbnailProvider* provider, UINT cx) {
    Thumbnail out;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    out.hr = provider->GetThumbnail(cx, &bitmap, &alpha);
    if (FAILED(out.hr)) {
        EXPECT_EQ(bitmap, nullptr);
        return out;
    }
    EXPECT_EQ(alpha, WTSAT_ARGB);
    DIBSECTION section = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBmih.biBitCount, 32);
    out.pixels.width = static_cast<UINT>(section.dsBm.bmWidth);
    out.pixels.height = static_cast<UINT>(section.dsBm.bmHeight);
    const auto* bits = static_cast<const std::uint8_t*>(section.dsBm.bmBits);
    out.pixels.bytes.assign(bits, bits + static_cast<size_t>(out.pixels.width) * out.pixels.height * 4);
    DeleteObject(bitmap);
    return out;
}

std::vector<std::uint8_t> Fixture(const std::string& relative) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    return source ? ReadFileBytes(WindowsPathFromUnix(std::string(source) + "/" + relative)) : std::vector<std::uint8_t>{};
}

// A GIF whose frame i is a solid colour of palette index 1 + i.
std::vector<std::uint8_t> ColourFrames(std::uint16_t width, std::uint16_t height, int frames) {
    std::vector<Rgb> palette = {{0, 0, 0}};
    for (int i = 0; i < frames; ++i) palette.push_back(Rgb{static_cast<std::uint8_t>(30 * i), 200, 10});
    GifBuilder gif(width, height, palette);
    for (int i = 0; i < frames; ++i) gif.AddFrame(SolidFrame(0, 0, width, height, static_cast<std::uint8_t>(1 + i)));
    return gif.Build();
}

} // namespace

TEST(Thumbnail, SizeFollowsTheLongerSide) {
    struct Case {
        std::uint16_t width, height;
        UINT cx, expectWidth, expectHeight;
    };
    for (const Case c : {Case{500, 300, 256, 256, 154}, Case{100, 1000, 256, 26, 256}, Case{1, 1000, 256, 1, 256},
                         Case{16, 16, 96, 96, 96}, Case{16, 16, 32, 32, 32}, Case{40, 20, 1024, 1024, 512}}) {
        auto provider = Provider(ColourFrames(c.width, c.height, 1));
        const Thumbnail thumbnail = Take(provider.Get(), c.cx);
        ASSERT_EQ(thumbnail.hr, S_OK);
        EXPECT_EQ(thumbnail.pixels.width, c.expectWidth) << c.width << "x" << c.height << " at " << c.cx;
        EXPECT_EQ(thumbnail.pixels.height, c.expectHeight) << c.width << "x" << c.height << " at " << c.cx;
    }
}

TEST(Thumbnail, ShowsTheMiddleFrame) {
    // Frame i has red 30 * i: of 7 frames frame 3 shows, of 2 frame 1, of 1 frame 0.
    for (const auto& [frames, red] : {std::pair{7, 90}, std::pair{2, 30}, std::pair{1, 0}}) {
        const Thumbnail thumbnail = Take(Provider(ColourFrames(8, 8, frames)).Get(), 32);
        ASSERT_EQ(thumbnail.hr, S_OK);
        EXPECT_NEAR(thumbnail.pixels.At(16, 16)[2], red, 2) << frames << " frames";
    }
}

// A stream of this apartment is read on this thread; a free-threaded one is
// read by the worker. The picture is the same either way.
TEST(Thumbnail, AStreamReadHereOrByTheWorkerGivesTheSamePicture) {
    for (const char* file : {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/bouncing_ball.webp"}) {
        const auto bytes = Fixture(file);
        const ComPtr<IStream> local = StreamFromBytes(bytes);
        ComPtr<IMarshal> marshal;
        ASSERT_TRUE(FAILED(local.As(&marshal))) << "the memory stream is expected to belong to this apartment";
        const Thumbnail here = Take(ProviderOn(local).Get(), 96);
        const Thumbnail there = Take(ProviderOn(MakeStallingStream(bytes, bytes.size()).stream).Get(), 96);
        ASSERT_EQ(here.hr, S_OK) << file;
        ASSERT_EQ(there.hr, S_OK) << file;
        EXPECT_EQ(here.pixels.bytes, there.pixels.bytes) << file;
    }
}

// Our own decoders run on the caller's thread and stop at the patience by themselves.
TEST(Thumbnail, AGifPngOrWebPPastItsPatienceEndsInATimeoutWithNoBitmap) {
    for (const char* file : {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/bouncing_ball.webp"}) {
        HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
        EXPECT_EQ(MakeThumbnailWithin(StreamFromBytes(Fixture(file)).Get(), 96, &bitmap, 0), HRESULT_FROM_WIN32(WAIT_TIMEOUT))
            << file;
        EXPECT_EQ(bitmap, nullptr) << file;
    }
}

TEST(Thumbnail, PicturesLongerThanAnyCanvasHaveTheirThumbnail) {
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> pictures = {
        {"png 20000x64", LongPng(20000, 64)}, {"png 64x20000", LongPng(64, 20000)},
        {"gif 20000x64", LongGif(20000, 64)}, {"gif 64x20000", LongGif(64, 20000)}};
    for (const auto& [label, bytes] : pictures) {
        const Thumbnail t = Take(Provider(bytes).Get(), 256);
        ASSERT_EQ(t.hr, S_OK) << label;
        const bool wide = label.find("20000x") != std::string::npos;
        EXPECT_EQ(t.pixels.width, wide ? 256u : 1u) << label;
        EXPECT_EQ(t.pixels.height, wide ? 1u : 256u) << label;
        EXPECT_TRUE(ShowsTheQuarters(t.pixels.bytes.data(), t.pixels.width, t.pixels.height)) << label;
    }

    // One image covering the second quarter of a 40000-wide screen: the rest stays transparent.
    GifBuilder gif(40000, 8, {{0, 0, 0}, {0, 200, 0}});
    gif.AddFrame(SolidFrame(10000, 0, 10000, 8, 1));
    const Thumbnail part = Take(Provider(gif.Build()).Get(), 256);
    ASSERT_EQ(part.hr, S_OK);
    ASSERT_EQ(part.pixels.width, 256u);
    const std::uint8_t clear[4] = {0, 0, 0, 0}, green[4] = {0, 200, 0, 255};
    for (const UINT x : {0u, 32u, 160u, 255u}) EXPECT_EQ(std::memcmp(part.pixels.At(x, 0), clear, 4), 0) << x;
    for (const UINT x : {65u, 96u, 127u}) EXPECT_EQ(std::memcmp(part.pixels.At(x, 0), green, 4), 0) << x;
}

TEST(Thumbnail, TransparentAreasStayTransparent) {
    GifFrameSpec hole = SolidFrame(0, 0, 4, 4, 1);
    hole.indices[0] = 2;
    hole.transparentIndex = 2;
    const auto bytes = GifBuilder(4, 4, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}}).AddFrame(hole).Build();
    const Thumbnail thumbnail = Take(Provider(bytes).Get(), 64);
    ASSERT_EQ(thumbnail.hr, S_OK);
    EXPECT_EQ(thumbnail.pixels.At(2, 2)[3], 0);    // the transparent top-left pixel: rows run top-down
    EXPECT_EQ(thumbnail.pixels.At(40, 40)[3], 255); // opaque red elsewhere
    EXPECT_GT(thumbnail.pixels.At(40, 40)[2], 240);
}

TEST(Thumbnail, EveryTypeAtEverySizeTheShellAsks) {
    // The image samples are 160x80 and the videos 160x90: the
    // longer side becomes the requested size, the shorter keeps the proportion.
    struct Case {
        const char* file;
        UINT width, height;
    };
    for (const Case c : {Case{"samples/bouncing_ball.gif", 2, 1}, Case{"samples/bouncing_ball.png", 2, 1},
                         Case{"samples/still_ball.png", 2, 1}, Case{"samples/bouncing_ball.webp", 2, 1},
                         Case{"tests/fixtures/video/black_then_bright.mp4", 16, 9},
                         Case{"tests/fixtures/video/pattern.wmv", 16, 9}}) {
        const auto bytes = Fixture(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        auto provider = Provider(bytes);
        for (UINT cx : {32u, 96u, 256u, 1024u}) {
            const Thumbnail thumbnail = Take(provider.Get(), cx);
            ASSERT_EQ(thumbnail.hr, S_OK) << c.file << " at " << cx;
            EXPECT_EQ(thumbnail.pixels.width, cx) << c.file;
            EXPECT_EQ(thumbnail.pixels.height, (cx * c.height + c.width / 2) / c.width) << c.file << " at " << cx;
        }
    }
}

TEST(Thumbnail, AVideoShowsItsRepresentativeStillNotItsBlackStart) {
    // The clip is black for its first second; the thumbnail is the bright part.
    const Thumbnail thumbnail = Take(Provider(Fixture("tests/fixtures/video/black_then_bright.mp4")).Get(), 96);
    ASSERT_EQ(thumbnail.hr, S_OK);
    double sum = 0;
    for (UINT y = 0; y < thumbnail.pixels.height; ++y) {
        for (UINT x = 0; x < thumbnail.pixels.width; ++x) {
            const std::uint8_t* p = thumbnail.pixels.At(x, y);
            sum += 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
            EXPECT_EQ(p[3], 255) << "a video still is opaque";
        }
    }
    EXPECT_GT(sum / (thumbnail.pixels.width * thumbnail.pixels.height), 40.0);
}

TEST(Thumbnail, ArgumentsAndOrderAreChecked) {
    ComPtr<IThumbnailProvider> provider;
    auto factory = ServerClassFactory(CLSID_QuivaneThumbnailProvider);
    ASSERT_TRUE(factory);
    ASSERT_EQ(factory->CreateInstance(nullptr, __uuidof(IThumbnailProvider), reinterpret_cast<void**>(provider.GetAddressOf())), S_OK);
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    EXPECT_EQ(provider->GetThumbnail(96, &bitmap, &alpha), E_FAIL); // before Initialize
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(alpha, WTSAT_ARGB);
    EXPECT_EQ(provider->GetThumbnail(96, nullptr, &alpha), E_POINTER);
    EXPECT_EQ(provider->GetThumbnail(96, &bitmap, nullptr), E_POINTER);
    auto initialised = Provider(ColourFrames(4, 4, 1));
    bitmap = reinterpret_cast<HBITMAP>(1);
    alpha = WTSAT_UNKNOWN;
    EXPECT_EQ(initialised->GetThumbnail(0, &bitmap, &alpha), E_INVALIDARG);
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_EQ(alpha, WTSAT_ARGB);
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(provider.As(&init), S_OK);
    EXPECT_EQ(init->Initialize(nullptr, STGM_READ), E_POINTER);
}

// A damaged file gives either a whole thumbnail of the asked size or a
// failure with no bitmap; never a crash.
void ExpectWholeOrNothing(const std::vector<std::uint8_t>& bytes, const std::string& what) {
    const Thumbnail thumbnail = Take(Provider(bytes).Get(), 64);
    if (SUCCEEDED(thumbnail.hr)) {
        EXPECT_EQ(thumbnail.hr, S_OK) << what;
        EXPECT_EQ(std::max(thumbnail.pixels.width, thumbnail.pixels.height), 64u) << what;
    }
}

TEST(Thumbnail, DamagedFilesGiveAWholeThumbnailOrNone) {
    std::uint32_t state = 77;
    const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    std::vector<std::vector<std::uint8_t>> files;
    std::vector<std::string> names = {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/still_ball.png",
                                      "samples/bouncing_ball.webp", "samples/test_pattern.gif"};
    for (const std::string& name : names) files.push_back(Fixture(name));
    for (const char* name : {"delay.png", "dispose_op_previous.png", "blend_op_over.png"}) {
        files.push_back(ReadFileBytes(ConformancePath(std::string("apng/") + name)));
        names.push_back(name);
    }
    for (size_t f = 0; f < files.size(); ++f) {
        const std::vector<std::uint8_t>& whole = files[f];
        const std::string& file = names[f];
        ASSERT_FALSE(whole.empty()) << file;
        for (int cut = 1; cut < 12; ++cut) {
            auto truncated = whole;
            truncated.resize(whole.size() * cut / 12);
            ExpectWholeOrNothing(truncated, file + " cut " + std::to_string(cut));
        }
        for (int copy = 0; copy < 12; ++copy) {
            auto flipped = whole;
            for (int i = 0; i < 4; ++i) flipped[next() % flipped.size()] ^= static_cast<std::uint8_t>(1u << (next() % 8));
            ExpectWholeOrNothing(flipped, file + " flipped " + std::to_string(copy));
        }
    }
    // A video cut short. (Wine's source reader can stop answering for good on
    // other damaged video, a truncated WMV among them; the video tests load
    // those on a watched worker.)
    const auto video = Fixture("tests/fixtures/video/short.mp4");
    ASSERT_FALSE(video.empty());
    for (size_t keep : {size_t{64}, video.size() / 20}) {
        ExpectWholeOrNothing(std::vector<std::uint8_t>(video.begin(), video.begin() + keep), "short.mp4");
    }
}

TEST(Thumbnail, BadContentFailsWithNoBitmap) {
    // Unknown content is named "preview.gif" and fails as a GIF would.
    std::vector<std::uint8_t> noise(3000);
    std::uint32_t state = 9;
    for (auto& b : noise) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    EXPECT_TRUE(FAILED(Take(Provider(noise).Get(), 96).hr));
    EXPECT_TRUE(FAILED(Take(Provider({}).Get(), 96).hr));
    for (const char* file : {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/bouncing_ball.webp"}) {
        auto cut = Fixture(file);
        cut.resize(cut.size() / 3);
        const Thumbnail thumbnail = Take(Provider(cut).Get(), 96);
        if (SUCCEEDED(thumbnail.hr)) {
            EXPECT_EQ(std::max(thumbnail.pixels.width, thumbnail.pixels.height), 96u) << file;
        }
    }
}

// A file from which nothing decodes gets no thumbnail, so Explorer shows the
// file type's icon; one whose decoded pixels are transparent gets a clear one.
TEST(Thumbnail, NothingDecodedFailsWhereTransparentPixelsArePictures) {
    for (const NamedGif& gif : GifsWithNothingToShow()) {
        EXPECT_EQ(Take(Provider(gif.bytes).Get(), 64).hr, WINCODEC_ERR_BADIMAGE) << gif.name;
    }
    const auto damagedApng = ApngBuilder(16, 16).Frame(DamagedImageData()).Frame(SolidImageData(16, 16, {0, 255, 0, 255})).Build();
    EXPECT_EQ(Take(Provider(damagedApng).Get(), 64).hr, WINCODEC_ERR_BADIMAGE);

    GifFrameSpec clear = SolidFrame(0, 0, 1, 1, 1);
    clear.transparentIndex = 1;
    const auto transparent = GifBuilder(1200, 900, {{0, 0, 0}, {255, 0, 0}}).AddFrame(clear).AddFrame(clear).Build();
    const Thumbnail thumbnail = Take(Provider(transparent).Get(), 64);
    ASSERT_EQ(thumbnail.hr, S_OK);
    EXPECT_EQ(thumbnail.pixels.width, 64u);
    EXPECT_TRUE(std::all_of(thumbnail.pixels.bytes.begin(), thumbnail.pixels.bytes.end(), [](std::uint8_t b) { return b == 0; }));
}

// The thumbnail keeps what decodes, as the preview does: when the data fails
// at or before the middle frame, the last frame before the damage shows.
TEST(Thumbnail, DamageBeforeTheMiddleShowsTheLastFrameThatDecodes) {
    const auto solid = [](Rgba8 colour) { return SolidImageData(8, 8, colour); };
    const Rgba8 red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
    GifFrameSpec damaged = SolidFrame(0, 0, 8, 8, 2);
    damaged.minimumCodeSize = 0;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int red, green, blue; // the centre's colour
    };
    const Case cases[] = {
        {"apng whose second of two frames fails", ApngBuilder(8, 8).Frame(solid(red)).Frame(DamagedImageData()).Build(),
         255, 0, 0},
        {"apng whose middle frame fails",
         ApngBuilder(8, 8).Frame(solid(red)).Frame(solid(green)).Frame(DamagedImageData()).Frame(solid(blue)).Build(), 0,
         255, 0},
        {"apng failing before the middle",
         ApngBuilder(8, 8).Frame(solid(red)).Frame(DamagedImageData()).Frame(solid(green)).Frame(solid(blue)).Build(),
         255, 0, 0},
        // A GIF's damaged image draws what it decodes, here nothing, over the frame before it.
        {"gif whose middle image is damaged",
         GifBuilder(8, 8, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}})
             .AddFrame(SolidFrame(0, 0, 8, 8, 1))
             .AddFrame(damaged)
             .AddFrame(SolidFrame(0, 0, 8, 8, 3))
             .Build(),
         255, 0, 0},
    };
    for (const Case& c : cases) {
        const Thumbnail thumbnail = Take(Provider(c.bytes).Get(), 32);
        ASSERT_EQ(thumbnail.hr, S_OK) << c.what;
        const std::uint8_t* centre = thumbnail.pixels.At(16, 16);
        EXPECT_EQ(centre[2], c.red) << c.what;
        EXPECT_EQ(centre[1], c.green) << c.what;
        EXPECT_EQ(centre[0], c.blue) << c.what;
        EXPECT_EQ(centre[3], 255) << c.what;
    }
}

namespace {

// Five 4x4 frames, frame i of red 40 * i, read directly as a platform codec
// reads them; the frames in kFailingFrames fail as damaged data.
std::vector<std::uint32_t> kFailingFrames;

class FramesFailingAlone final : public FrameSource {
public:
    HRESULT Open(IStream*) override { return S_OK; }
    std::uint32_t FrameCount() const override { return 5; }
    HRESULT ReadFrame(std::uint32_t index, FramePixels& frame) override {
        if (std::find(kFailingFrames.begin(), kFailingFrames.end(), index) != kFailingFrames.end()) {
            return WINCODEC_ERR_BADIMAGE;
        }
        frame.width = frame.height = 4;
        frame.pixels.clear();
        for (int i = 0; i < 16; ++i) frame.pixels.insert(frame.pixels.end(), {0, 0, static_cast<std::uint8_t>(40 * index), 255});
        return S_OK;
    }
};

} // namespace

TEST(Thumbnail, AFrameOfAPlatformCodecThatFailsAloneGivesWayToTheOneBefore) {
    FormatRow format = *FormatForName(L"a.webp");
    format.createSource = [](const StopToken&) { return static_cast<FrameSource*>(new FramesFailingAlone()); };
    const FileBytes file = std::make_shared<std::vector<std::uint8_t>>(16, 0);
    struct Case {
        std::vector<std::uint32_t> failing;
        HRESULT hr;
        int red;
    };
    for (const Case& c : {Case{{}, S_OK, 80}, Case{{2}, S_OK, 40}, Case{{1, 2}, S_OK, 0}, Case{{3}, S_OK, 80},
                          Case{{0, 1, 2}, WINCODEC_ERR_BADIMAGE, 0}}) {
        kFailingFrames = c.failing;
        HBITMAP bitmap = nullptr;
        ASSERT_EQ(MakeThumbnailBitmap(format, file, 8, &bitmap), c.hr) << c.failing.size() << " failing";
        if (FAILED(c.hr)) {
            EXPECT_EQ(bitmap, nullptr);
            continue;
        }
        DIBSECTION section = {};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
        EXPECT_EQ(static_cast<const std::uint8_t*>(section.dsBm.bmBits)[2], c.red) << c.failing.size() << " failing";
        DeleteObject(bitmap);
    }
    kFailingFrames.clear();
}
