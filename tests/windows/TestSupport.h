#pragma once
// Helpers shared by the Windows-side tests: streams over bytes and files,
// paths into the conformance suites, and pixel read-back.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include "platform/StopToken.h"

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

#include "formats/FormatTable.h"
#include "platform/StopToken.h"
#include "frames/StoreMedia.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace QuivaneTest {

// A solid, opaque frame of one colour (bytes B, G, R).
Quivane::FramePixels SolidPixels(UINT width, UINT height, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                                 std::uint32_t delayMs = 100);
// Frames of distinct colours with delays of 40, 80, 120 ... ms.
std::vector<Quivane::FramePixels> SolidFrames(size_t count, UINT width = 4, UINT height = 2);

// What the preview shows these frames through: a store holding every one of
// them, and for a video's still, its time line.
std::unique_ptr<Quivane::StoreMedia> StoreMediaOver(std::vector<Quivane::FramePixels> frames,
                                                          std::optional<Quivane::VideoTimeline> timeline = {});

// The decoders of one format, by its usual extension.
const Quivane::FormatRow& FormatWithExtension(const wchar_t* extension);

// What the format's frame source reads from a file, opened on a stream over
// `bytes`: its frames in order, composited, as premultiplied BGRA. `hr` is the
// first failure (opening, or the frame it stopped at); the frames read before
// it stay. A video also gives where its still stands.
struct SourceFrames {
    HRESULT hr = E_FAIL;
    std::vector<Pixels> frames;
    std::vector<std::uint32_t> delays;
    std::uint64_t duration = 0;
    std::uint64_t position = 0;
};
// The source gives up once `stop` says so.
SourceFrames ReadSourceFrames(const wchar_t* extension, const std::vector<std::uint8_t>& bytes,
                              const Quivane::StopToken& stop = {});
// A video's still at or after `position` (100-ns units), the way a seek reads it.
SourceFrames ReadSourceStillAt(const wchar_t* extension, const std::vector<std::uint8_t>& bytes,
                               std::uint64_t position);

// Reads `bytes` with the format's source and checks the outcome is whole: it
// fails, or every frame it reads is canvas-sized and validly premultiplied
// with a delay of at least 10 ms; success gives at least one frame.
::testing::AssertionResult ReadsWholeFramesOrFails(const wchar_t* extension, const std::vector<std::uint8_t>& bytes);

// A stream every read and seek of which fails.
ComPtr<IStream> UnreadableStream();

} // namespace QuivaneTest
