// The test-only WebP decoder (tests/support/webp_wic), as the imaging factory
// finds and uses it in the test prefix: found by content, frames that are the
// composited canvas, durations through the frame's metadata, and bad files
// failing cleanly. References come from Debian's webp tools
// (tests/support/webp_wic/make-fixtures.sh), not from this decoder.
#include "TestSupport.h"

#include "platform/WicImaging.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

using namespace QuivaneTest;

namespace {

// The stand-in's class, as register-test-codecs.sh registers it.
const CLSID kTestWebpDecoder = {0xa103cb1e, 0x6235, 0x49ed, {0xbf, 0xb5, 0x2e, 0xde, 0xd6, 0xf3, 0xbf, 0x69}};

std::wstring FixturePath(const std::string& name) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    return WindowsPathFromUnix(std::string(source != nullptr ? source : "") + "/tests/support/webp_wic/fixtures/" +
                               name);
}

std::vector<std::uint8_t> Fixture(const std::string& name) {
    auto bytes = ReadFileBytes(FixturePath(name));
    EXPECT_FALSE(bytes.empty()) << name << " not found; QUIVANE_SOURCE_DIR must name the source tree";
    return bytes;
}

// A PAM picture (P7, RGB or RGB_ALPHA) as straight RGBA.
struct Reference {
    UINT width = 0;
    UINT height = 0;
    std::vector<std::uint8_t> rgba;
};

bool ReadReference(const std::string& name, Reference& out) {
    const auto bytes = Fixture(name);
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("ENDHDR\n");
    if (text.compare(0, 3, "P7\n") != 0 || end == std::string::npos) return false;
    std::istringstream header(text.substr(3, end - 3));
    std::string key;
    unsigned depth = 0, maxval = 0;
    while (header >> key) {
        if (key == "WIDTH") header >> out.width;
        else if (key == "HEIGHT") header >> out.height;
        else if (key == "DEPTH") header >> depth;
        else if (key == "MAXVAL") header >> maxval;
        else header >> key; // TUPLTYPE's value
    }
    const size_t pixels = static_cast<size_t>(out.width) * out.height;
    const size_t start = end + 7;
    if ((depth != 3 && depth != 4) || maxval != 255 || bytes.size() != start + pixels * depth) return false;
    out.rgba.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* from = bytes.data() + start + i * depth;
        std::memcpy(&out.rgba[i * 4], from, 3);
        out.rgba[i * 4 + 3] = depth == 4 ? from[3] : 255;
    }
    return true;
}

// Premultiplied BGRA against straight RGBA premultiplied as round(c * a / 255),
// each channel within `tolerance`.
::testing::AssertionResult MatchesReference(const Pixels& actual, const Reference& expected, int tolerance) {
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                             << expected.width << "x" << expected.height;
    }
    size_t wrong = 0;
    std::ostringstream first;
    for (UINT y = 0; y < actual.height; ++y) {
        for (UINT x = 0; x < actual.width; ++x) {
            const std::uint8_t* got = actual.At(x, y);
            const std::uint8_t* want = &expected.rgba[(static_cast<size_t>(y) * expected.width + x) * 4];
            const int alpha = want[3];
            const int bgra[4] = {(want[2] * alpha + 127) / 255, (want[1] * alpha + 127) / 255,
                                 (want[0] * alpha + 127) / 255, alpha};
            for (int c = 0; c < 4; ++c) {
                if (std::abs(got[c] - bgra[c]) > tolerance) {
                    if (wrong++ == 0) {
                        first << "(" << x << "," << y << ") is BGRA " << int(got[0]) << "," << int(got[1]) << ","
                              << int(got[2]) << "," << int(got[3]) << ", expected " << bgra[0] << "," << bgra[1]
                              << "," << bgra[2] << "," << bgra[3];
                    }
                    break;
                }
            }
        }
    }
    if (wrong != 0) return ::testing::AssertionFailure() << wrong << " pixels differ; first " << first.str();
    return ::testing::AssertionSuccess();
}

HRESULT DecoderFor(const std::vector<std::uint8_t>& bytes, ComPtr<IWICBitmapDecoder>& decoder) {
    ComPtr<IWICImagingFactory> factory;
    const HRESULT hr = Quivane::CreateImagingFactory(factory);
    if (FAILED(hr)) return hr;
    auto stream = StreamFromBytes(bytes);
    return factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
}

// The frame's pixels as it gives them, without any converter between.
HRESULT CopyAll(IWICBitmapFrameDecode* frame, Pixels& out) {
    HRESULT hr = frame->GetSize(&out.width, &out.height);
    if (FAILED(hr)) return hr;
    out.bytes.assign(static_cast<size_t>(out.width) * out.height * 4, 0);
    return frame->CopyPixels(nullptr, out.width * 4, static_cast<UINT>(out.bytes.size()), out.bytes.data());
}

HRESULT DurationOf(IWICBitmapFrameDecode* frame, PROPVARIANT& value) {
    ComPtr<IWICMetadataQueryReader> reader;
    const HRESULT hr = frame->GetMetadataQueryReader(&reader);
    if (FAILED(hr)) return hr;
    PropVariantInit(&value);
    return reader->GetMetadataByName(L"/ANMF/Duration", &value);
}

struct Animation {
    const char* file;
    UINT width;
    UINT height;
    std::vector<std::uint32_t> durations;
    const char* referencePrefix; // frame N's reference is PREFIX.frameN.pam
};

const Animation kLossless{"anim-lossless.webp", 24, 20, {80, 160, 240, 50}, "anim-lossless"};
const Animation kLossy{"anim-lossy.webp", 24, 20, {70, 130, 200}, "anim-lossy"};

void CheckAnimation(const Animation& animation) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture(animation.file), decoder), S_OK);
    UINT count = 0;
    ASSERT_EQ(decoder->GetFrameCount(&count), S_OK);
    ASSERT_EQ(count, animation.durations.size());
    for (UINT i = 0; i < count; ++i) {
        SCOPED_TRACE(std::string(animation.file) + " frame " + std::to_string(i));
        ComPtr<IWICBitmapFrameDecode> frame;
        ASSERT_EQ(decoder->GetFrame(i, &frame), S_OK);
        UINT width = 0, height = 0;
        ASSERT_EQ(frame->GetSize(&width, &height), S_OK);
        EXPECT_EQ(width, animation.width);
        EXPECT_EQ(height, animation.height);

        PROPVARIANT duration;
        ASSERT_EQ(DurationOf(frame.Get(), duration), S_OK);
        EXPECT_EQ(duration.vt, VT_UI4);
        EXPECT_EQ(duration.ulVal, animation.durations[i]);
        PropVariantClear(&duration);

        Reference reference;
        ASSERT_TRUE(ReadReference(std::string(animation.referencePrefix) + ".frame" + std::to_string(i) + ".pam",
                                  reference));
        Pixels pixels;
        ASSERT_EQ(ReadPremultipliedBgra(frame.Get(), pixels), S_OK);
        EXPECT_TRUE(MatchesReference(pixels, reference, 2));
    }
}

void CheckStill(const char* file, const char* referenceFile, UINT width, UINT height) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture(file), decoder), S_OK);
    UINT count = 0;
    ASSERT_EQ(decoder->GetFrameCount(&count), S_OK);
    ASSERT_EQ(count, 1u);
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(decoder->GetFrame(0, &frame), S_OK);
    UINT w = 0, h = 0;
    ASSERT_EQ(frame->GetSize(&w, &h), S_OK);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    WICPixelFormatGUID format{};
    ASSERT_EQ(frame->GetPixelFormat(&format), S_OK);
    EXPECT_TRUE(format == GUID_WICPixelFormat32bppPBGRA);
    double dpiX = 0, dpiY = 0;
    ASSERT_EQ(frame->GetResolution(&dpiX, &dpiY), S_OK);
    EXPECT_EQ(dpiX, 96.0);
    EXPECT_EQ(dpiY, 96.0);

    Reference reference;
    ASSERT_TRUE(ReadReference(referenceFile, reference));
    Pixels pixels;
    ASSERT_EQ(CopyAll(frame.Get(), pixels), S_OK);
    EXPECT_TRUE(MatchesReference(pixels, reference, 2));

    // A still has no animation chunk, so no duration.
    PROPVARIANT duration;
    EXPECT_EQ(DurationOf(frame.Get(), duration), WINCODEC_ERR_PROPERTYNOTFOUND);
    PropVariantClear(&duration);
}

} // namespace

TEST(WebpCodec, FactoryFindsTheDecoderByContent) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture("still-lossy.webp"), decoder), S_OK);
    GUID container{};
    ASSERT_EQ(decoder->GetContainerFormat(&container), S_OK);
    EXPECT_TRUE(container == GUID_ContainerFormatWebp);

    ComPtr<IWICBitmapDecoderInfo> info;
    ASSERT_EQ(decoder->GetDecoderInfo(&info), S_OK);
    CLSID clsid{};
    ASSERT_EQ(info->GetCLSID(&clsid), S_OK);
    EXPECT_TRUE(clsid == kTestWebpDecoder);
    GUID infoContainer{};
    ASSERT_EQ(info->GetContainerFormat(&infoContainer), S_OK);
    EXPECT_TRUE(infoContainer == GUID_ContainerFormatWebp);
}

TEST(WebpCodec, FactoryFindsTheDecoderByContainerFormat) {
    ComPtr<IWICImagingFactory> factory;
    ASSERT_EQ(Quivane::CreateImagingFactory(factory), S_OK);
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(factory->CreateDecoder(GUID_ContainerFormatWebp, nullptr, &decoder), S_OK);
    auto stream = StreamFromBytes(Fixture("anim-lossless.webp"));
    ASSERT_EQ(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), S_OK);
    UINT count = 0;
    ASSERT_EQ(decoder->GetFrameCount(&count), S_OK);
    EXPECT_EQ(count, 4u);
}

TEST(WebpCodec, LossyStillMatchesDwebp) {
    CheckStill("still-lossy.webp", "still-lossy.expected.pam", 32, 24);
}

TEST(WebpCodec, LosslessStillWithAlphaMatchesDwebp) {
    CheckStill("still-lossless-alpha.webp", "still-lossless-alpha.expected.pam", 20, 14);
    // The reference really spans clear, half-clear and opaque pixels.
    Reference reference;
    ASSERT_TRUE(ReadReference("still-lossless-alpha.expected.pam", reference));
    bool clear = false, partial = false, opaque = false;
    for (size_t i = 3; i < reference.rgba.size(); i += 4) {
        clear |= reference.rgba[i] == 0;
        partial |= reference.rgba[i] > 0 && reference.rgba[i] < 255;
        opaque |= reference.rgba[i] == 255;
    }
    EXPECT_TRUE(clear && partial && opaque);
}

// The encoder stored changed rectangles, blended or not, over kept canvas
// content: each frame is right only as the composited canvas.
TEST(WebpCodec, LosslessAnimationFramesAreTheCompositedCanvas) {
    CheckAnimation(kLossless);
}

TEST(WebpCodec, LossyAnimationFramesMatchDwebp) {
    CheckAnimation(kLossy);
}

TEST(WebpCodec, DurationIsTheOnlyMetadataName) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture("anim-lossless.webp"), decoder), S_OK);
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(decoder->GetFrame(1, &frame), S_OK);
    ComPtr<IWICMetadataQueryReader> reader;
    ASSERT_EQ(frame->GetMetadataQueryReader(&reader), S_OK);
    for (const wchar_t* name : {L"/ANMF/Blend", L"/grctlext/Delay", L"/ANMF", L"/ANMF/Duration/x", L""}) {
        PROPVARIANT value;
        PropVariantInit(&value);
        EXPECT_EQ(reader->GetMetadataByName(name, &value), WINCODEC_ERR_PROPERTYNOTFOUND);
        PropVariantClear(&value);
    }
    // Only asking whether it is there.
    EXPECT_EQ(reader->GetMetadataByName(L"/ANMF/Duration", nullptr), S_OK);
    GUID container{};
    ASSERT_EQ(reader->GetContainerFormat(&container), S_OK);
    EXPECT_TRUE(container == GUID_ContainerFormatWebp);
}

TEST(WebpCodec, FramesComeInAnyOrderAndOutliveTheDecoder) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture("anim-lossless.webp"), decoder), S_OK);
    ComPtr<IWICBitmapFrameDecode> last, first;
    ASSERT_EQ(decoder->GetFrame(3, &last), S_OK);
    ASSERT_EQ(decoder->GetFrame(0, &first), S_OK);
    ComPtr<IWICBitmapFrameDecode> missing;
    EXPECT_TRUE(FAILED(decoder->GetFrame(4, &missing)));
    EXPECT_EQ(missing.Get(), nullptr);
    decoder.Reset();

    Reference reference;
    ASSERT_TRUE(ReadReference("anim-lossless.frame3.pam", reference));
    Pixels pixels;
    ASSERT_EQ(CopyAll(last.Get(), pixels), S_OK);
    EXPECT_TRUE(MatchesReference(pixels, reference, 2));
    ASSERT_TRUE(ReadReference("anim-lossless.frame0.pam", reference));
    ASSERT_EQ(CopyAll(first.Get(), pixels), S_OK);
    EXPECT_TRUE(MatchesReference(pixels, reference, 2));
}

TEST(WebpCodec, CopyPixelsTakesAnyInsideRectangleAndChecksTheRest) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture("anim-lossless.webp"), decoder), S_OK);
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(decoder->GetFrame(2, &frame), S_OK);
    Pixels whole;
    ASSERT_EQ(CopyAll(frame.Get(), whole), S_OK);

    // A rectangle into a padded buffer: its rows land at the stride, padding untouched.
    const WICRect rect{5, 3, 7, 4};
    const UINT stride = 7 * 4 + 12;
    std::vector<std::uint8_t> buffer(stride * 4, 0xAB);
    ASSERT_EQ(frame->CopyPixels(&rect, stride, static_cast<UINT>(buffer.size()), buffer.data()), S_OK);
    for (UINT y = 0; y < 4; ++y) {
        EXPECT_EQ(std::memcmp(&buffer[y * stride], whole.At(5, 3 + y), 7 * 4), 0) << "row " << y;
        for (UINT pad = 7 * 4; pad < stride; ++pad) EXPECT_EQ(buffer[y * stride + pad], 0xAB) << "row " << y;
    }
    // The last row needs no padding after it.
    EXPECT_EQ(frame->CopyPixels(&rect, stride, stride * 3 + 7 * 4, buffer.data()), S_OK);

    const WICRect corner{23, 19, 1, 1};
    std::uint8_t one[4] = {};
    ASSERT_EQ(frame->CopyPixels(&corner, 4, 4, one), S_OK);
    EXPECT_EQ(std::memcmp(one, whole.At(23, 19), 4), 0);

    for (const WICRect& outside : {WICRect{20, 0, 5, 1}, WICRect{0, 17, 1, 4}, WICRect{-1, 0, 2, 2},
                                   WICRect{0, -1, 2, 2}, WICRect{0, 0, 25, 20}, WICRect{0, 0, -1, 1}}) {
        EXPECT_EQ(frame->CopyPixels(&outside, stride, static_cast<UINT>(buffer.size()), buffer.data()),
                  E_INVALIDARG)
            << outside.X << "," << outside.Y << " " << outside.Width << "x" << outside.Height;
    }
    EXPECT_EQ(frame->CopyPixels(&rect, 7 * 4 - 1, static_cast<UINT>(buffer.size()), buffer.data()), E_INVALIDARG);
    EXPECT_EQ(frame->CopyPixels(&rect, stride, stride * 3 + 7 * 4 - 1, buffer.data()),
              WINCODEC_ERR_INSUFFICIENTBUFFER);
    std::vector<std::uint8_t> small(whole.bytes.size() - 1);
    EXPECT_EQ(frame->CopyPixels(nullptr, 24 * 4, static_cast<UINT>(small.size()), small.data()),
              WINCODEC_ERR_INSUFFICIENTBUFFER);
    EXPECT_EQ(frame->CopyPixels(nullptr, 24 * 4, 24 * 4 * 20, nullptr), E_INVALIDARG);
}

TEST(WebpCodec, NoPaletteThumbnailOrColourContexts) {
    ComPtr<IWICImagingFactory> factory;
    ASSERT_EQ(Quivane::CreateImagingFactory(factory), S_OK);
    ComPtr<IWICPalette> palette;
    ASSERT_EQ(factory->CreatePalette(&palette), S_OK);
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(DecoderFor(Fixture("still-lossless-alpha.webp"), decoder), S_OK);
    EXPECT_EQ(decoder->CopyPalette(palette.Get()), WINCODEC_ERR_PALETTEUNAVAILABLE);
    ComPtr<IWICBitmapSource> source;
    EXPECT_TRUE(FAILED(decoder->GetThumbnail(&source)));
    EXPECT_TRUE(FAILED(decoder->GetPreview(&source)));
    ComPtr<IWICMetadataQueryReader> containerReader;
    EXPECT_TRUE(FAILED(decoder->GetMetadataQueryReader(&containerReader)));

    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(decoder->GetFrame(0, &frame), S_OK);
    EXPECT_EQ(frame->CopyPalette(palette.Get()), WINCODEC_ERR_PALETTEUNAVAILABLE);
    EXPECT_EQ(frame->GetThumbnail(&source), WINCODEC_ERR_CODECNOTHUMBNAIL);
    EXPECT_EQ(source.Get(), nullptr);
    UINT contexts = 99;
    EXPECT_EQ(frame->GetColorContexts(0, nullptr, &contexts), S_OK);
    EXPECT_EQ(contexts, 0u);
}

// The server's own entry points, on the DLL built beside this program: it
// stays loaded while anything it handed out is alive or it is locked.
TEST(WebpCodec, ServerCountsItsObjectsAndLocks) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring dll(path, length);
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"QuivaneTestWebpDecoder.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArguments = HRESULT(STDAPICALLTYPE*)();
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const auto canUnloadNow = reinterpret_cast<NoArguments>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    EXPECT_EQ(canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(GUID_ContainerFormatWebp, IID_PPV_ARGS(&factory)), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(kTestWebpDecoder, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);

    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IUnknown> outer;
    ASSERT_EQ(factory->QueryInterface(IID_PPV_ARGS(&outer)), S_OK);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_PPV_ARGS(&decoder)), CLASS_E_NOAGGREGATION);
    outer.Reset();
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&decoder)), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a decoder is alive";

    auto stream = StreamFromBytes(Fixture("anim-lossless.webp"));
    ASSERT_EQ(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), S_OK);
    ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(decoder->GetFrame(1, &frame), S_OK);
    ComPtr<IWICMetadataQueryReader> reader;
    ASSERT_EQ(frame->GetMetadataQueryReader(&reader), S_OK);
    decoder.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a frame is alive";
    frame.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a metadata reader is alive";
    reader.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(getClassObject(kTestWebpDecoder, IID_PPV_ARGS(&factory)), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the server is locked";
    ASSERT_EQ(getClassObject(kTestWebpDecoder, IID_PPV_ARGS(&factory)), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(module);
}

// Wine's pattern match leaves the stream part way in; the decoder starts over.
TEST(WebpCodec, InitializeReadsFromTheStartOnce) {
    ComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(CoCreateInstance(kTestWebpDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&decoder)), S_OK);
    UINT count = 0;
    EXPECT_EQ(decoder->GetFrameCount(&count), WINCODEC_ERR_NOTINITIALIZED);
    ComPtr<IWICBitmapFrameDecode> frame;
    EXPECT_TRUE(FAILED(decoder->GetFrame(0, &frame)));

    const auto bytes = Fixture("anim-lossy.webp");
    auto stream = StreamFromBytes(bytes);
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(bytes.size() - 5);
    ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, nullptr), S_OK);
    DWORD capability = 0;
    ASSERT_EQ(decoder->QueryCapability(stream.Get(), &capability), S_OK);
    EXPECT_NE(capability & WICBitmapDecoderCapabilityCanDecodeAllImages, 0u);
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, bytes.size() - 5) << "QueryCapability moved the stream";

    ASSERT_EQ(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), S_OK);
    ASSERT_EQ(decoder->GetFrameCount(&count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand), WINCODEC_ERR_WRONGSTATE);
}

TEST(WebpCodec, TruncatedFilesFailCleanly) {
    for (const char* name : {"still-lossy.webp", "still-lossless-alpha.webp", "anim-lossless.webp", "anim-lossy.webp"}) {
        const auto original = Fixture(name);
        ASSERT_FALSE(original.empty());
        for (size_t length = 0; length < original.size(); ++length) {
            const std::vector<std::uint8_t> cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
            ComPtr<IWICBitmapDecoder> decoder;
            const HRESULT hr = DecoderFor(cut, decoder);
            // Under 12 bytes nothing matches the WebP pattern; from there on it is ours to reject.
            if (length >= 12) {
                EXPECT_EQ(hr, WINCODEC_ERR_BADIMAGE) << name << " cut to " << length;
            } else {
                EXPECT_TRUE(FAILED(hr)) << name << " cut to " << length;
            }
            EXPECT_EQ(decoder.Get(), nullptr);
        }
    }
}

namespace {

// Offset of a chunk's four-character code, searching from the first chunk.
size_t ChunkOffset(const std::vector<std::uint8_t>& bytes, const char* fourcc) {
    for (size_t at = 12; at + 8 <= bytes.size();) {
        if (std::memcmp(&bytes[at], fourcc, 4) == 0) return at;
        const size_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | size_t{bytes[at + 7]} << 24;
        at += 8 + size + (size & 1);
    }
    return std::string::npos;
}

} // namespace

TEST(WebpCodec, CorruptFilesFailCleanly) {
    struct Case {
        const char* file;
        const char* chunk;
        size_t offset; // from the chunk's four-character code
        std::uint8_t value;
        const char* what;
    };
    const Case cases[] = {
        {"still-lossless-alpha.webp", "VP8L", 8, 0x00, "lossless signature"},
        {"still-lossy.webp", "VP8 ", 11, 0x00, "lossy start code"},
        {"still-lossy.webp", "VP8 ", 0, 'X', "unknown image chunk"},
        {"anim-lossless.webp", "ANMF", 7, 0x7F, "frame chunk larger than the file"},
        {"anim-lossless.webp", "VP8X", 12, 0x00, "canvas narrower than its frames"},
        {"anim-lossy.webp", "ANMF", 4, 0x04, "frame chunk too small for its header"},
    };
    for (const Case& c : cases) {
        auto bytes = Fixture(c.file);
        const size_t chunk = ChunkOffset(bytes, c.chunk);
        ASSERT_NE(chunk, std::string::npos) << c.file << " has no " << c.chunk;
        ASSERT_LT(chunk + c.offset, bytes.size());
        ASSERT_NE(bytes[chunk + c.offset], c.value) << c.what << ": the change changes nothing";
        bytes[chunk + c.offset] = c.value;
        ComPtr<IWICBitmapDecoder> decoder;
        EXPECT_EQ(DecoderFor(bytes, decoder), WINCODEC_ERR_BADIMAGE) << c.file << ": " << c.what;
        EXPECT_EQ(decoder.Get(), nullptr);
    }
}

// Any single damaged byte: a clean failure, or frames that are whole,
// canvas-sized and premultiplied.
TEST(WebpCodec, DamagedBytesNeverCrash) {
    for (const char* name : {"still-lossless-alpha.webp", "anim-lossless.webp", "anim-lossy.webp"}) {
        const auto original = Fixture(name);
        ASSERT_FALSE(original.empty());
        size_t decoded = 0, rejected = 0;
        for (size_t at = 0; at < original.size(); ++at) {
            for (std::uint8_t mask : {std::uint8_t{0xFF}, std::uint8_t{0x10}}) {
                auto bytes = original;
                bytes[at] ^= mask;
                ComPtr<IWICBitmapDecoder> decoder;
                if (FAILED(DecoderFor(bytes, decoder))) {
                    ++rejected;
                    continue;
                }
                ++decoded;
                UINT count = 0;
                ASSERT_EQ(decoder->GetFrameCount(&count), S_OK);
                ASSERT_GE(count, 1u);
                for (UINT i = 0; i < count; ++i) {
                    ComPtr<IWICBitmapFrameDecode> frame;
                    ASSERT_EQ(decoder->GetFrame(i, &frame), S_OK);
                    Pixels pixels;
                    ASSERT_EQ(CopyAll(frame.Get(), pixels), S_OK) << name << " byte " << at << " frame " << i;
                    for (size_t p = 0; p < pixels.bytes.size(); p += 4) {
                        const std::uint8_t* px = &pixels.bytes[p];
                        ASSERT_TRUE(px[0] <= px[3] && px[1] <= px[3] && px[2] <= px[3])
                            << name << " byte " << at << ": not premultiplied";
                    }
                }
            }
        }
        // Both outcomes happen, so both paths were walked.
        EXPECT_GT(decoded, 0u) << name;
        EXPECT_GT(rejected, 0u) << name;
    }
}
