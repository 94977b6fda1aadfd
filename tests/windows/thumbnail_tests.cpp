// Thumbnails the way the shell asks for them: through the class factory of
// Quivane.dll itself, IInitializeWithStream on the file's bytes, GetThumbnail.
#include "GifBuilder.h"
#include "TestSupport.h"
#include "com/ServerClasses.h"

#include <gtest/gtest.h>

#include <thumbcache.h>

#include <cstdlib>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

// The server as COM would use it: the DLL loaded and asked for its class object.
ComPtr<IClassFactory> ServerFactory(REFCLSID clsid) {
    static HMODULE dll = LoadLibraryW(L"Quivane.dll");
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    if (get != nullptr) get(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    return factory;
}

ComPtr<IThumbnailProvider> Provider(const std::vector<std::uint8_t>& bytes) {
    ComPtr<IThumbnailProvider> provider;
    auto factory = ServerFactory(CLSID_QuivaneThumbnailProvider);
    EXPECT_TRUE(factory);
    if (!factory) return provider;
    EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IThumbnailProvider), reinterpret_cast<void**>(provider.GetAddressOf())), S_OK);
    ComPtr<IInitializeWithStream> init;
    EXPECT_EQ(provider.As(&init), S_OK);
    EXPECT_EQ(init->Initialize(StreamFromBytes(bytes).Get(), STGM_READ), S_OK);
    return provider;
}

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
    auto provider = Provider(ColourFrames(8, 8, 7));
    const Thumbnail thumbnail = Take(provider.Get(), 32);
    ASSERT_EQ(thumbnail.hr, S_OK);
    EXPECT_NEAR(thumbnail.pixels.At(16, 16)[2], 90, 2); // frame 3 has red 3 * 30
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

TEST(Thumbnail, EveryTypeGivesAPicture) {
    for (const char* file : {"samples/bouncing_ball.gif", "samples/bouncing_ball.png", "samples/still_ball.png",
                             "samples/bouncing_ball.webp", "tests/fixtures/video/black_then_bright.mp4",
                             "tests/fixtures/video/pattern.wmv"}) {
        const auto bytes = Fixture(file);
        ASSERT_FALSE(bytes.empty()) << file;
        const Thumbnail thumbnail = Take(Provider(bytes).Get(), 256);
        ASSERT_EQ(thumbnail.hr, S_OK) << file;
        EXPECT_EQ(std::max(thumbnail.pixels.width, thumbnail.pixels.height), 256u) << file;
    }
}

TEST(Thumbnail, ArgumentsAndOrderAreChecked) {
    ComPtr<IThumbnailProvider> provider;
    auto factory = ServerFactory(CLSID_QuivaneThumbnailProvider);
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
    EXPECT_EQ(initialised->GetThumbnail(0, &bitmap, &alpha), E_INVALIDARG);
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(provider.As(&init), S_OK);
    EXPECT_EQ(init->Initialize(nullptr, STGM_READ), E_POINTER);
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
