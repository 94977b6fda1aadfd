// Frames drawn through Direct2D into bitmaps the test reads back: the fitting
// rule and the bounded cache of device copies.
#include "TestSupport.h"
#include "platform/Direct2D.h"
#include "platform/WicImaging.h"
#include "presentation/DeviceFrameCache.h"
#include "frames/StoreMedia.h"

#include <gtest/gtest.h>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

struct Canvas {
    ComPtr<IWICBitmap> bitmap;
    ComPtr<ID2D1RenderTarget> target;
};

class Drawing : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateImagingFactory(wic), S_OK);
        ASSERT_EQ(CreateDirect2DFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, d2d), S_OK);
    }

    Canvas MakeCanvas(UINT width, UINT height) {
        Canvas canvas;
        EXPECT_EQ(wic->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &canvas.bitmap),
                  S_OK);
        EXPECT_EQ(d2d->CreateWicBitmapRenderTarget(canvas.bitmap.Get(), D2D1::RenderTargetProperties(), &canvas.target),
                  S_OK);
        return canvas;
    }

    // Clears to opaque grey, draws the frame on screen, and reads the pixels back.
    Pixels Draw(DecodedMedia& media, Canvas& canvas) {
        canvas.target->BeginDraw();
        canvas.target->Clear(D2D1::ColorF(0.5f, 0.5f, 0.5f, 1.0f));
        if (media.FrameCount() > 0) {
            EXPECT_EQ(cache.DrawFrame(canvas.target.Get(), media, shown), S_OK);
        }
        EXPECT_EQ(canvas.target->EndDraw(), S_OK);
        Pixels pixels;
        EXPECT_EQ(ReadPremultipliedBgra(canvas.bitmap.Get(), pixels), S_OK);
        return pixels;
    }

    ComPtr<IWICImagingFactory> wic;
    ComPtr<ID2D1Factory> d2d;
    DeviceFrameCache cache{2, 1u << 20};
    std::uint32_t shown = 0; // the frame playback has on screen
};

bool IsRed(const std::uint8_t* p) { return p[0] < 8 && p[1] < 8 && p[2] > 247 && p[3] == 255; }
bool IsGrey(const std::uint8_t* p) { return p[0] > 120 && p[0] < 136 && p[1] == p[0] && p[2] == p[0]; }
bool IsGreen(const std::uint8_t* p) { return p[0] < 8 && p[1] > 247 && p[2] < 8; }

} // namespace

TEST_F(Drawing, WideFrameIsScaledToTheWidthAndCentred) {
    const auto mediaFrames = StoreMediaOver({SolidPixels(100, 50, 0, 0, 255)});
    DecodedMedia& media = *mediaFrames;
    Canvas canvas = MakeCanvas(400, 400);
    const Pixels pixels = Draw(media, canvas);

    // Destination (0, 100) - (400, 300).
    EXPECT_TRUE(IsGrey(pixels.At(200, 99)));
    EXPECT_TRUE(IsRed(pixels.At(200, 100)));
    EXPECT_TRUE(IsRed(pixels.At(0, 100)));
    EXPECT_TRUE(IsRed(pixels.At(399, 299)));
    EXPECT_TRUE(IsRed(pixels.At(0, 200)));
    EXPECT_TRUE(IsRed(pixels.At(399, 200)));
    EXPECT_TRUE(IsGrey(pixels.At(200, 300)));
    EXPECT_TRUE(IsGrey(pixels.At(0, 0)));
    EXPECT_TRUE(IsGrey(pixels.At(399, 399)));
}

TEST_F(Drawing, TallFrameIsScaledToTheHeightAndCentred) {
    const auto mediaFrames = StoreMediaOver({SolidPixels(20, 40, 0, 0, 255)});
    DecodedMedia& media = *mediaFrames;
    Canvas canvas = MakeCanvas(300, 100);
    const Pixels pixels = Draw(media, canvas); // destination (125, 0) - (175, 100)
    EXPECT_TRUE(IsGrey(pixels.At(124, 50)));
    EXPECT_TRUE(IsRed(pixels.At(125, 50)));
    EXPECT_TRUE(IsRed(pixels.At(174, 0)));
    EXPECT_TRUE(IsRed(pixels.At(174, 99)));
    EXPECT_TRUE(IsGrey(pixels.At(175, 50)));
}

TEST_F(Drawing, CurrentFrameIsTheOneDrawn) {
    const auto mediaFrames = StoreMediaOver({SolidPixels(8, 8, 0, 0, 255), SolidPixels(8, 8, 0, 255, 0)});
    DecodedMedia& media = *mediaFrames;
    Canvas canvas = MakeCanvas(16, 16);
    EXPECT_TRUE(IsRed(Draw(media, canvas).At(8, 8)));
    shown = 1;
    EXPECT_TRUE(IsGreen(Draw(media, canvas).At(8, 8)));
}

TEST_F(Drawing, CopiesAreKeptForOneTargetWithinTheirBound) {
    const auto mediaFrames =
        StoreMediaOver({SolidPixels(8, 8, 0, 0, 255), SolidPixels(8, 8, 0, 255, 0), SolidPixels(8, 8, 255, 0, 0)});
    DecodedMedia& media = *mediaFrames;
    Canvas first = MakeCanvas(16, 16);
    Canvas second = MakeCanvas(16, 16);
    cache.KeepCopiesFor(first.target.Get()); // the window's target

    Draw(media, first);
    shown = 1;
    Draw(media, first);
    EXPECT_EQ(cache.CachedFrames(), 2u);
    EXPECT_EQ(cache.CachedBytes(), 2u * 8 * 8 * 4);
    shown = 2;
    Draw(media, first); // the least recently drawn, frame 0, goes
    EXPECT_EQ(cache.CachedFrames(), 2u);
    shown = 0;
    EXPECT_TRUE(IsRed(Draw(media, first).At(4, 4))); // made again

    EXPECT_TRUE(IsRed(Draw(media, second).At(4, 4))); // another target: a copy for that draw only
    EXPECT_EQ(cache.CachedFrames(), 2u);
    cache.Clear();
    EXPECT_EQ(cache.CachedFrames(), 0u);
    EXPECT_EQ(cache.CachedBytes(), 0u);
}

TEST_F(Drawing, TheFrameOnScreenIsKeptWhateverItsSize) {
    const auto mediaFrames = StoreMediaOver({SolidPixels(600, 600, 0, 0, 255), SolidPixels(8, 8, 0, 255, 0)});
    DecodedMedia& media = *mediaFrames;
    Canvas canvas = MakeCanvas(16, 16);
    cache.KeepCopiesFor(canvas.target.Get());
    EXPECT_TRUE(IsRed(Draw(media, canvas).At(4, 4))); // 1.4 MB, over the 1 MB bound
    EXPECT_EQ(cache.CachedFrames(), 1u);
    shown = 1;
    Draw(media, canvas);
    EXPECT_EQ(cache.CachedFrames(), 1u);
    EXPECT_EQ(cache.CachedBytes(), 8u * 8 * 4);
}

TEST_F(Drawing, NothingIsDrawnWithoutATargetOrFrames) {
    const auto emptyFrames = StoreMediaOver({});
    DecodedMedia& empty = *emptyFrames;
    Canvas canvas = MakeCanvas(8, 8);
    EXPECT_TRUE(IsGrey(Draw(empty, canvas).At(4, 4)));
    EXPECT_EQ(cache.DrawFrame(canvas.target.Get(), empty, 0), E_INVALIDARG);

    const auto loadedFrames = StoreMediaOver({SolidPixels(8, 8, 0, 0, 255)});
    DecodedMedia& loaded = *loadedFrames;
    EXPECT_EQ(cache.DrawFrame(nullptr, loaded, 0), E_POINTER);
    EXPECT_EQ(cache.CachedFrames(), 0u);
}

TEST_F(Drawing, AFrameFarLargerThanTheTargetReachesTheDeviceAtTheTargetsSize) {
    FramePixels huge;
    huge.width = 4200; // 70 MB: over the size that is scaled first
    huge.height = 4200;
    huge.pixels.resize(static_cast<std::size_t>(huge.width) * huge.height * 4);
    for (std::size_t i = 0; i < huge.pixels.size(); i += 4) {
        huge.pixels[i + 2] = 255; // red
        huge.pixels[i + 3] = 255;
    }
    auto store = std::make_shared<FrameStore>(1);
    store->Put(0, std::move(huge));
    StoreMedia media(store);
    Canvas canvas = MakeCanvas(40, 20);
    cache.KeepCopiesFor(canvas.target.Get());
    EXPECT_TRUE(IsRed(Draw(media, canvas).At(20, 10)));
    EXPECT_EQ(cache.CachedBytes(), 20u * 20 * 4); // the fitted square, not the frame
}

TEST_F(Drawing, APictureDrawnElsewhereRightAfterAClearLeavesTheKeptTargetItsCopies) {
    const auto mediaFrames = StoreMediaOver({SolidPixels(8, 8, 0, 0, 255)});
    DecodedMedia& media = *mediaFrames;
    Canvas window = MakeCanvas(16, 16);
    Canvas printed = MakeCanvas(16, 16);
    cache.KeepCopiesFor(window.target.Get());
    Draw(media, window);
    cache.Clear(); // new frames
    EXPECT_TRUE(IsRed(Draw(media, printed).At(4, 4))); // a capture comes first
    EXPECT_EQ(cache.CachedFrames(), 0u);
    EXPECT_TRUE(IsRed(Draw(media, window).At(4, 4)));
    EXPECT_EQ(cache.CachedFrames(), 1u); // the window's copy, made once and kept
    EXPECT_TRUE(IsRed(Draw(media, printed).At(4, 4)));
    EXPECT_EQ(cache.CachedFrames(), 1u);

    cache.KeepCopiesFor(nullptr); // the window's target went
    EXPECT_EQ(cache.CachedFrames(), 0u);
    EXPECT_TRUE(IsRed(Draw(media, window).At(4, 4)));
    EXPECT_EQ(cache.CachedFrames(), 0u);
}
