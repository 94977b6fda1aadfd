#pragma once
// Helpers shared by the Windows-side tests: streams over bytes and files,
// paths into the conformance suites, and pixel read-back.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

namespace QuivaneTest {

using Microsoft::WRL::ComPtr;

ComPtr<IStream> StreamFromBytes(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);
// A file of tests/fixtures/video.
// A file of the source tree, by its path from the tree's root.
std::vector<std::uint8_t> SourceTreeFile(const std::string& relative);
std::vector<std::uint8_t> VideoFixture(const std::string& name);

// A Unix path as Wine's Z: drive shows it.
std::wstring WindowsPathFromUnix(const std::string& unixPath);
std::wstring ConformancePath(const std::string& relative);
std::vector<std::string> ConformanceGifNames();

struct Pixels {
    UINT width = 0;
    UINT height = 0;
    std::vector<std::uint8_t> bytes; // 4 bytes a pixel, rows of width * 4
    const std::uint8_t* At(UINT x, UINT y) const { return bytes.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// Reads any bitmap source as premultiplied BGRA.
HRESULT ReadPremultipliedBgra(IWICBitmapSource* source, Pixels& out);
// Decodes an image file (straight RGBA in, as the suites store them) into premultiplied BGRA.
HRESULT DecodeFileAsPremultipliedBgra(const std::wstring& path, Pixels& out);

std::string Hex(HRESULT hr);

// Quivane.dll loaded as COM loads it (once per process), and its exports.
HMODULE QuivaneServer();
template <typename T>
T ServerExport(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
// The server's class object for clsid, asked for IClassFactory; null if it refuses.
ComPtr<IClassFactory> ServerClassFactory(REFCLSID clsid);

} // namespace QuivaneTest

#include "frames/SourceRenderer.h"
#include "frames/WicAnimatedRenderer.h"

#include <gtest/gtest.h>

namespace QuivaneTest {

// A solid, opaque premultiplied-BGRA bitmap of one colour (bytes B, G, R).
ComPtr<IWICBitmap> SolidBitmap(UINT width, UINT height, std::uint8_t b, std::uint8_t g, std::uint8_t r);

// A renderer whose decode appends the given frames (delays 40, 80, 120 ... ms)
// and then answers `result`: exercises the frame store on its own.
class FixedFramesRenderer : public Quivane::WicAnimatedRenderer {
public:
    explicit FixedFramesRenderer(std::vector<ComPtr<IWICBitmap>> frames, HRESULT result = S_OK)
        : frames_(std::move(frames)), result_(result) {}
    HRESULT DecodeStream(IStream* stream) override;

private:
    std::vector<ComPtr<IWICBitmap>> frames_;
    HRESULT result_;
};

std::vector<ComPtr<IWICBitmap>> SolidFrames(size_t count, UINT width = 4, UINT height = 2);

// Loads `bytes` and checks the outcome is whole: a failure leaves no frames; a
// success gives canvas-sized, valid premultiplied frames with delays of at least 10 ms.
::testing::AssertionResult LoadsToWholeFramesOrFails(Quivane::IAnimatedRenderer& renderer,
                                                     const std::vector<std::uint8_t>& bytes);

// The preview's renderer of one format, by its usual extension.
const Quivane::FormatRow& FormatWithExtension(const wchar_t* extension);
struct GifRenderer : Quivane::SourceRenderer {
    GifRenderer() : SourceRenderer(FormatWithExtension(L".gif")) {}
};
struct ApngRenderer : Quivane::SourceRenderer {
    ApngRenderer() : SourceRenderer(FormatWithExtension(L".png")) {}
};
struct WebPRenderer : Quivane::SourceRenderer {
    WebPRenderer() : SourceRenderer(FormatWithExtension(L".webp")) {}
};
struct VideoStillRenderer : Quivane::SourceRenderer {
    VideoStillRenderer() : SourceRenderer(FormatWithExtension(L".mp4")) {}
};

// A stream every read and seek of which fails.
ComPtr<IStream> UnreadableStream();

} // namespace QuivaneTest
