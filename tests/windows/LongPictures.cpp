#include "LongPictures.h"

#include "GifBuilder.h"
#include "TestSupport.h"
#include "platform/WicImaging.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace QuivaneTest {
namespace {

constexpr Bgra kQuarters[4] = {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {255, 255, 255, 255}};

int QuarterOf(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height) {
    return width >= height ? static_cast<int>(std::uint64_t{x} * 4 / width) : static_cast<int>(std::uint64_t{y} * 4 / height);
}

} // namespace

Bgra QuarterColour(int quarter) { return kQuarters[quarter]; }

std::vector<std::uint8_t> LongPng(UINT width, UINT height) {
    ComPtr<IWICImagingFactory> factory;
    EXPECT_EQ(Quivane::CreateImagingFactory(factory), S_OK);
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            std::memcpy(&pixels[(static_cast<size_t>(y) * width + x) * 4], kQuarters[QuarterOf(x, y, width, height)].data(), 4);
        }
    }
    ComPtr<IWICBitmap> bitmap;
    EXPECT_EQ(Quivane::CreateBitmapFromPixels(factory.Get(), width, height, GUID_WICPixelFormat32bppBGRA, width * 4,
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
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<std::uint8_t> png(static_cast<size_t>(stat.cbSize.QuadPart));
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(png.data(), static_cast<ULONG>(png.size()), &read);
    return png;
}

std::vector<std::uint8_t> LongGif(std::uint16_t width, std::uint16_t height) {
    std::vector<Rgb> palette = {{0, 0, 0}};
    for (const Bgra& colour : kQuarters) palette.push_back(Rgb{colour[2], colour[1], colour[0]});
    GifFrameSpec image = SolidFrame(0, 0, width, height, 1);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            image.indices[static_cast<size_t>(y) * width + x] = static_cast<std::uint8_t>(1 + QuarterOf(x, y, width, height));
        }
    }
    return GifBuilder(width, height, palette).AddFrame(image).Build();
}

::testing::AssertionResult ShowsTheQuarters(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height) {
    for (int quarter = 0; quarter < 4; ++quarter) {
        const bool wide = width >= height;
        const std::uint32_t along = (wide ? width : height) * (2 * quarter + 1) / 8;
        const std::uint32_t across = (wide ? height : width) / 2;
        const std::uint32_t x = wide ? along : across, y = wide ? across : along;
        Bgra got;
        std::memcpy(got.data(), pixels + (static_cast<size_t>(y) * width + x) * 4, 4);
        if (got != kQuarters[quarter]) {
            std::ostringstream message;
            message << width << "x" << height << " at " << x << "," << y << ": " << int(got[0]) << " " << int(got[1])
                    << " " << int(got[2]) << " " << int(got[3]) << ", not quarter " << quarter << "'s colour";
            return ::testing::AssertionFailure() << message.str();
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace QuivaneTest
