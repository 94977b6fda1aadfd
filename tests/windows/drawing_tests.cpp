// Frames drawn through Direct2D into bitmaps the test reads back: the fitting
// rule and the per-target cache of device bitmaps.
#include "TestSupport.h"
#include "platform/Direct2D.h"
#include "platform/WicImaging.h"

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

    // Clears to opaque grey, draws the renderer's current frame, and reads the pixels back.
    Pixels Draw(IAnimatedRenderer& renderer, Canvas& canvas) {
        canvas.target->BeginDraw();
        canvas.target->Clear(D2D1::ColorF(0.5f, 0.5f, 0.5f, 1.0f));
        renderer.DrawCurrentFrame(canvas.target.Get());
        EXPECT_EQ(canvas.target->EndDraw(), S_OK);
        Pixels pixels;
        EXPECT_EQ(ReadPremultipliedBgra(canvas.bitmap.Get(), pixels), S_OK);
        return pixels;
    }

    ComPtr<IWICImagingFactory> wic;
    ComPtr<ID2D1Factory> d2d;
};

bool IsRed(const std::uint8_t* p) { return p[0] < 8 && p[1] < 8 && p[2] > 247 && p[3] == 255; }
bool IsGrey(const std::uint8_t* p) { return p[0] > 120 && p[0] < 136 && p[1] == p[0] && p[2] == p[0]; }
bool IsGreen(const std::uint8_t* p) { return p[0] < 8 && p[1] > 247 && p[2] < 8; }

} // namespace

TEST_F(Drawing, WideFrameIsScaledToTheWidthAndCentred) {
    FixedFramesRenderer renderer({SolidBitmap(100, 50, 0, 0, 255)});
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas canvas = MakeCanvas(400, 400);
    const Pixels pixels = Draw(renderer, canvas);

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
    FixedFramesRenderer renderer({SolidBitmap(20, 40, 0, 0, 255)});
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas canvas = MakeCanvas(300, 100);
    const Pixels pixels = Draw(renderer, canvas); // destination (125, 0) - (175, 100)
    EXPECT_TRUE(IsGrey(pixels.At(124, 50)));
    EXPECT_TRUE(IsRed(pixels.At(125, 50)));
    EXPECT_TRUE(IsRed(pixels.At(174, 0)));
    EXPECT_TRUE(IsRed(pixels.At(174, 99)));
    EXPECT_TRUE(IsGrey(pixels.At(175, 50)));
}

TEST_F(Drawing, CurrentFrameIsTheOneDrawn) {
    FixedFramesRenderer renderer({SolidBitmap(8, 8, 0, 0, 255), SolidBitmap(8, 8, 0, 255, 0)});
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas canvas = MakeCanvas(16, 16);
    EXPECT_TRUE(IsRed(Draw(renderer, canvas).At(8, 8)));
    renderer.SetCurrentFrame(1);
    EXPECT_TRUE(IsGreen(Draw(renderer, canvas).At(8, 8)));
}

TEST_F(Drawing, ASecondTargetDiscardsTheFirstTargetsBitmaps) {
    FixedFramesRenderer renderer({SolidBitmap(8, 8, 0, 0, 255), SolidBitmap(8, 8, 0, 255, 0)});
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas first = MakeCanvas(16, 16);
    Canvas second = MakeCanvas(16, 16);

    Draw(renderer, first);
    renderer.SetCurrentFrame(1);
    Draw(renderer, first);
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 2u);
    Draw(renderer, first);
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 2u); // reused, not made again

    EXPECT_TRUE(IsGreen(Draw(renderer, second).At(4, 4)));
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 1u);

    renderer.SetCurrentFrame(0);
    EXPECT_TRUE(IsRed(Draw(renderer, first).At(4, 4)));
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 1u);
}

TEST_F(Drawing, NothingIsDrawnWithoutATargetOrFrames) {
    FixedFramesRenderer empty({});
    ASSERT_EQ(empty.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas canvas = MakeCanvas(8, 8);
    EXPECT_TRUE(IsGrey(Draw(empty, canvas).At(4, 4)));

    FixedFramesRenderer loaded({SolidBitmap(8, 8, 0, 0, 255)});
    ASSERT_EQ(loaded.Load(StreamFromBytes({1}).Get()), S_OK);
    loaded.DrawCurrentFrame(nullptr);
    EXPECT_EQ(loaded.GetCachedDeviceBitmapCount(), 0u);
}

TEST_F(Drawing, ReloadDropsTheDeviceBitmaps) {
    FixedFramesRenderer renderer({SolidBitmap(8, 8, 0, 0, 255)});
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    Canvas canvas = MakeCanvas(8, 8);
    Draw(renderer, canvas);
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 1u);
    ASSERT_EQ(renderer.Load(StreamFromBytes({1}).Get()), S_OK);
    EXPECT_EQ(renderer.GetCachedDeviceBitmapCount(), 0u);
    EXPECT_TRUE(IsRed(Draw(renderer, canvas).At(4, 4)));
}
