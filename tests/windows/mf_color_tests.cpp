// The test prefix's stand-in colour converter (tests/support/mf_color): the
// conversion on hand-made frames laid out as Wine hands them over, and Wine's
// source reader giving RGB32 pictures of the fixture videos through it.
#include "CrashAtExit.h"
#include "TestSupport.h"
#include "platform/ComAdopt.h"

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mftransform.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

// mingw-w64's mfidl.h lacks this mfplat export.
extern "C" HRESULT WINAPI MFCreateMFByteStreamOnStream(IStream* stream, IMFByteStream** out);

QUIVANE_TOLERATE_CRASH_AT_EXIT("Wine's media pipeline (GStreamer) has crashed tearing down its threads as the "
                               "process ends, after every conversion these tests check had passed");

using namespace QuivaneTest;

namespace {

// {2AB4BF55-A07A-4FDE-A1C6-3135A003CF5A}, as registered by register-test-mf.sh.
const CLSID kConverter = {0x2ab4bf55, 0xa07a, 0x4fde, {0xa1, 0xc6, 0x31, 0x35, 0xa0, 0x03, 0xcf, 0x5a}};

constexpr LONGLONG kSecond = 10'000'000;

struct Rgb {
    int r, g, b;
};
// The fixtures' two colours (make-fixtures.sh).
constexpr Rgb kFirstColour = {0x30, 0x50, 0xa0};
constexpr Rgb kSecondColour = {0xc0, 0x80, 0x30};
constexpr int kVideoTolerance = 12; // YUV rounding and the encoder's loss

class MediaFoundation : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION)); }
    void TearDown() override { MFShutdown(); }
};

// ---------------------------------------------------------------------------
// The transform on its own.

// The BT.601 limited-range inverse in floating point, rounded and clipped.
Rgb Reference(int y, int u, int v) {
    const double c = 1.164383 * (y - 16);
    const auto clip = [](double value) { return static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0))); };
    return {clip(c + 1.596027 * (v - 128)), clip(c - 0.391762 * (u - 128) - 0.812968 * (v - 128)),
            clip(c + 2.017232 * (u - 128))};
}

enum class Layout { I420, Yv12, Nv12, Yuy2 };

// A frame whose every luma sample and every chroma pair differ, stored with
// GStreamer's rows (each rounded up to 4 bytes) and 0xEE in the padding.
struct HandMadeFrame {
    UINT32 width, height;
    std::vector<std::uint8_t> bytes;
    std::function<int(UINT32, UINT32)> y, u, v; // by pixel position
};

HandMadeFrame MakeFrame(Layout layout, UINT32 width, UINT32 height) {
    HandMadeFrame frame{width, height, {}, {}, {}, {}};
    frame.y = [](UINT32 x, UINT32 row) { return 16 + static_cast<int>((x * 37 + row * 53) % 220); };
    frame.u = [](UINT32 x, UINT32 row) { return 16 + static_cast<int>(((x / 2) * 71 + (row / 2) * 29 + 40) % 225); };
    frame.v = [](UINT32 x, UINT32 row) { return 16 + static_cast<int>(((x / 2) * 47 + (row / 2) * 83 + 90) % 225); };
    const auto up4 = [](UINT32 n) { return (n + 3) & ~3u; };
    const UINT32 chromaWidth = (width + 1) / 2;
    const UINT32 chromaHeight = (height + 1) / 2;
    auto& b = frame.bytes;
    if (layout == Layout::Yuy2) {
        const UINT32 stride = up4(chromaWidth * 4);
        b.assign(static_cast<size_t>(stride) * height, 0xEE);
        for (UINT32 row = 0; row < height; ++row) {
            for (UINT32 x = 0; x < width; ++x) {
                std::uint8_t* pair = &b[row * stride + (x / 2) * 4];
                pair[(x & 1) * 2] = static_cast<std::uint8_t>(frame.y(x, row));
                pair[1] = static_cast<std::uint8_t>(frame.u(x, row));
                pair[3] = static_cast<std::uint8_t>(frame.v(x, row));
            }
        }
        return frame;
    }
    const UINT32 lumaStride = up4(width);
    const UINT32 chromaStride = layout == Layout::Nv12 ? lumaStride : up4(chromaWidth);
    const size_t lumaBytes = static_cast<size_t>(lumaStride) * height;
    const size_t planeBytes = static_cast<size_t>(chromaStride) * chromaHeight;
    b.assign(lumaBytes + planeBytes * (layout == Layout::Nv12 ? 1 : 2), 0xEE);
    for (UINT32 row = 0; row < height; ++row) {
        for (UINT32 x = 0; x < width; ++x) b[row * lumaStride + x] = static_cast<std::uint8_t>(frame.y(x, row));
    }
    for (UINT32 row = 0; row < chromaHeight; ++row) {
        for (UINT32 x = 0; x < chromaWidth; ++x) {
            const auto u = static_cast<std::uint8_t>(frame.u(x * 2, row * 2));
            const auto v = static_cast<std::uint8_t>(frame.v(x * 2, row * 2));
            const size_t at = lumaBytes + row * chromaStride;
            switch (layout) {
            case Layout::Nv12:
                b[at + x * 2] = u;
                b[at + x * 2 + 1] = v;
                break;
            case Layout::I420:
                b[at + x] = u;
                b[at + planeBytes + x] = v;
                break;
            case Layout::Yv12:
                b[at + x] = v;
                b[at + planeBytes + x] = u;
                break;
            case Layout::Yuy2: break;
            }
        }
    }
    return frame;
}

ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width, UINT32 height) {
    ComPtr<IMFMediaType> type;
    if (FAILED(MFCreateMediaType(&type))) return nullptr;
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    if (width != 0) MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    return type;
}

ComPtr<IMFSample> SampleOf(const std::vector<std::uint8_t>& bytes, LONGLONG time, LONGLONG duration) {
    ComPtr<IMFSample> sample;
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    if (FAILED(MFCreateSample(&sample)) || FAILED(MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), &buffer)) ||
        FAILED(buffer->Lock(&data, nullptr, nullptr))) {
        return nullptr;
    }
    std::copy(bytes.begin(), bytes.end(), data);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    sample->AddBuffer(buffer.Get());
    sample->SetSampleTime(time);
    sample->SetSampleDuration(duration);
    return sample;
}

ComPtr<IMFTransform> CreateConverter() {
    ComPtr<IMFTransform> transform;
    const HRESULT hr = CoCreateInstance(kConverter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&transform));
    EXPECT_HRESULT_SUCCEEDED(hr) << "is QuivaneTestColorConverter.dll registered in the prefix?";
    return transform;
}

// Converts the frame through the transform and compares every pixel with the reference.
void ExpectConverted(const GUID& subtype, Layout layout, UINT32 width, UINT32 height) {
    const ComPtr<IMFTransform> transform = CreateConverter();
    ASSERT_TRUE(transform);
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, VideoType(subtype, width, height).Get(), 0));
    ComPtr<IMFMediaType> offered;
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputAvailableType(0, 0, &offered));
    ASSERT_HRESULT_SUCCEEDED(transform->SetOutputType(0, offered.Get(), 0));

    const HandMadeFrame frame = MakeFrame(layout, width, height);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, SampleOf(frame.bytes, 4 * kSecond, kSecond / 25).Get(), 0));
    MFT_OUTPUT_DATA_BUFFER output{};
    DWORD status = 0;
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessOutput(0, 1, &output, &status));
    ComPtr<IMFSample> sample;
    Quivane::AdoptReference(sample, output.pSample);
    ASSERT_TRUE(sample);
    LONGLONG value = 0;
    EXPECT_HRESULT_SUCCEEDED(sample->GetSampleTime(&value));
    EXPECT_EQ(value, 4 * kSecond);
    EXPECT_HRESULT_SUCCEEDED(sample->GetSampleDuration(&value));
    EXPECT_EQ(value, kSecond / 25);

    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer));
    BYTE* data = nullptr;
    DWORD length = 0;
    ASSERT_HRESULT_SUCCEEDED(buffer->Lock(&data, nullptr, &length));
    ASSERT_EQ(length, width * height * 4);
    int wrong = 0;
    for (UINT32 row = 0; row < height; ++row) {
        for (UINT32 x = 0; x < width; ++x) {
            const BYTE* pixel = data + (row * width + x) * 4;
            const Rgb want = Reference(frame.y(x, row), frame.u(x, row), frame.v(x, row));
            if (std::abs(pixel[2] - want.r) > 1 || std::abs(pixel[1] - want.g) > 1 || std::abs(pixel[0] - want.b) > 1 ||
                pixel[3] != 0xff) {
                if (++wrong <= 5) {
                    ADD_FAILURE() << "pixel " << x << "," << row << " is BGRX " << int(pixel[0]) << " " << int(pixel[1])
                                  << " " << int(pixel[2]) << " " << int(pixel[3]) << ", want RGB " << want.r << " "
                                  << want.g << " " << want.b;
                }
            }
        }
    }
    buffer->Unlock();
    EXPECT_EQ(wrong, 0);
}

TEST_F(MediaFoundation, ConverterTurnsPaddedI420RowsIntoBgrx) { ExpectConverted(MFVideoFormat_I420, Layout::I420, 6, 4); }
TEST_F(MediaFoundation, ConverterTakesIyuvAsI420) { ExpectConverted(MFVideoFormat_IYUV, Layout::I420, 10, 6); }
TEST_F(MediaFoundation, ConverterTakesYv12WithItsPlanesSwapped) { ExpectConverted(MFVideoFormat_YV12, Layout::Yv12, 6, 4); }
TEST_F(MediaFoundation, ConverterTakesNv12) { ExpectConverted(MFVideoFormat_NV12, Layout::Nv12, 6, 4); }
TEST_F(MediaFoundation, ConverterTakesYuy2) { ExpectConverted(MFVideoFormat_YUY2, Layout::Yuy2, 6, 3); }
TEST_F(MediaFoundation, ConverterTakesUnpaddedWidths) { ExpectConverted(MFVideoFormat_I420, Layout::I420, 16, 2); }

TEST_F(MediaFoundation, ConverterKnownColours) {
    // Black, white and the primaries of BT.601 limited range, in a 2x2-block I420 frame of 8x2.
    const ComPtr<IMFTransform> transform = CreateConverter();
    ASSERT_TRUE(transform);
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, VideoType(MFVideoFormat_I420, 8, 2).Get(), 0));
    ASSERT_HRESULT_SUCCEEDED(transform->SetOutputType(0, VideoType(MFVideoFormat_RGB32, 8, 2).Get(), 0));
    const std::uint8_t y[4] = {16, 235, 81, 145};
    const std::uint8_t u[4] = {128, 128, 90, 54};
    const std::uint8_t v[4] = {128, 128, 240, 34};
    std::vector<std::uint8_t> bytes;
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 8; ++x) bytes.push_back(y[x / 2]);
    }
    bytes.insert(bytes.end(), u, u + 4);
    bytes.insert(bytes.end(), v, v + 4);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, SampleOf(bytes, 0, 0).Get(), 0));
    MFT_OUTPUT_DATA_BUFFER output{};
    DWORD status = 0;
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessOutput(0, 1, &output, &status));
    ComPtr<IMFSample> sample;
    Quivane::AdoptReference(sample, output.pSample);
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer));
    BYTE* data = nullptr;
    ASSERT_HRESULT_SUCCEEDED(buffer->Lock(&data, nullptr, nullptr));
    const Rgb want[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}};
    for (int x = 0; x < 8; ++x) {
        const BYTE* pixel = data + (8 + x) * 4; // second row
        EXPECT_NEAR(pixel[2], want[x / 2].r, 2) << "pixel " << x;
        EXPECT_NEAR(pixel[1], want[x / 2].g, 2) << "pixel " << x;
        EXPECT_NEAR(pixel[0], want[x / 2].b, 2) << "pixel " << x;
    }
    buffer->Unlock();
}

TEST_F(MediaFoundation, ConverterTypesAndFlow) {
    const ComPtr<IMFTransform> transform = CreateConverter();
    ASSERT_TRUE(transform);
    ComPtr<IMFMediaType> type;
    DWORD index = 0;
    std::vector<GUID> inputs;
    GUID subtype{};
    while (SUCCEEDED(transform->GetInputAvailableType(0, index++, type.ReleaseAndGetAddressOf()))) {
        ASSERT_HRESULT_SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype));
        inputs.push_back(subtype);
    }
    EXPECT_EQ(inputs, (std::vector<GUID>{MFVideoFormat_NV12, MFVideoFormat_I420, MFVideoFormat_IYUV, MFVideoFormat_YV12,
                                         MFVideoFormat_YUY2}));
    EXPECT_EQ(transform->SetInputType(0, VideoType(MFVideoFormat_RGB24, 8, 8).Get(), 0), MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(transform->SetInputType(0, VideoType(MFVideoFormat_I420, 0, 0).Get(), 0), MF_E_INVALIDMEDIATYPE);

    // Testing a type leaves none set.
    EXPECT_HRESULT_SUCCEEDED(transform->SetInputType(0, VideoType(MFVideoFormat_NV12, 8, 4).Get(), MFT_SET_TYPE_TEST_ONLY));
    EXPECT_EQ(transform->GetInputCurrentType(0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);

    ComPtr<IMFMediaType> input = VideoType(MFVideoFormat_NV12, 8, 4);
    MFSetAttributeRatio(input.Get(), MF_MT_FRAME_RATE, 30000, 1001);
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, input.Get(), 0));
    EXPECT_EQ(transform->SetOutputType(0, VideoType(MFVideoFormat_RGB32, 16, 4).Get(), 0), MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(transform->SetOutputType(0, VideoType(MFVideoFormat_NV12, 8, 4).Get(), 0), MF_E_INVALIDMEDIATYPE);
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputAvailableType(0, 0, &type));
    EXPECT_EQ(transform->GetOutputAvailableType(0, 1, type.ReleaseAndGetAddressOf()), MF_E_NO_MORE_TYPES);
    // A bare RGB32 type is completed from the input.
    ASSERT_HRESULT_SUCCEEDED(transform->SetOutputType(0, VideoType(MFVideoFormat_RGB32, 0, 0).Get(), 0));
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputCurrentType(0, &type));
    UINT32 width = 0, height = 0, numerator = 0, denominator = 0;
    EXPECT_HRESULT_SUCCEEDED(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height));
    EXPECT_EQ(width, 8u);
    EXPECT_EQ(height, 4u);
    EXPECT_HRESULT_SUCCEEDED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator));
    EXPECT_EQ(numerator, 30000u);
    EXPECT_EQ(denominator, 1001u);
    EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_DEFAULT_STRIDE, 0), 32u);

    MFT_OUTPUT_STREAM_INFO info{};
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputStreamInfo(0, &info));
    EXPECT_TRUE(info.dwFlags & MFT_OUTPUT_STREAM_PROVIDES_SAMPLES);
    EXPECT_EQ(info.cbSize, 8u * 4 * 4);
    ComPtr<IMFAttributes> attributes;
    EXPECT_HRESULT_SUCCEEDED(transform->GetAttributes(&attributes));

    MFT_OUTPUT_DATA_BUFFER output{};
    DWORD status = 0;
    EXPECT_EQ(transform->ProcessOutput(0, 1, &output, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    const std::vector<std::uint8_t> bytes = MakeFrame(Layout::Nv12, 8, 4).bytes;
    DWORD flags = 0;
    EXPECT_HRESULT_SUCCEEDED(transform->GetInputStatus(0, &flags));
    EXPECT_EQ(flags, static_cast<DWORD>(MFT_INPUT_STATUS_ACCEPT_DATA));
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, SampleOf(bytes, 0, 0).Get(), 0));
    EXPECT_EQ(transform->ProcessInput(0, SampleOf(bytes, 1, 0).Get(), 0), MF_E_NOTACCEPTING);
    EXPECT_HRESULT_SUCCEEDED(transform->GetOutputStatus(&flags));
    EXPECT_EQ(flags, static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
    // A flush drops the held picture.
    EXPECT_HRESULT_SUCCEEDED(transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0));
    EXPECT_EQ(transform->ProcessOutput(0, 1, &output, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);

    // A caller's sample is filled in place.
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, SampleOf(bytes, 7, 0).Get(), 0));
    ComPtr<IMFSample> own = SampleOf(std::vector<std::uint8_t>(8 * 4 * 4, 0), 0, 0);
    output.pSample = own.Get();
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessOutput(0, 1, &output, &status));
    EXPECT_EQ(output.pSample, own.Get());
    LONGLONG time = 0;
    EXPECT_HRESULT_SUCCEEDED(own->GetSampleTime(&time));
    EXPECT_EQ(time, 7);
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(own->GetBufferByIndex(0, &buffer));
    BYTE* data = nullptr;
    ASSERT_HRESULT_SUCCEEDED(buffer->Lock(&data, nullptr, nullptr));
    EXPECT_EQ(data[3], 0xff);
    buffer->Unlock();
}

// ---------------------------------------------------------------------------
// Wine's source reader asked for RGB32.

std::vector<std::uint8_t> Fixture(const std::string& name) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    if (source == nullptr) return {};
    return ReadFileBytes(WindowsPathFromUnix(std::string(source) + "/tests/support/mf_color/fixtures/" + name));
}

struct Picture {
    UINT32 width = 0;
    UINT32 height = 0;
    LONGLONG time = 0;
    std::vector<std::uint8_t> bgrx;
};

class Reader {
public:
    HRESULT Open(const std::string& name, const GUID& processing) {
        const std::vector<std::uint8_t> bytes = Fixture(name);
        if (bytes.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        ComPtr<IStream> stream = StreamFromBytes(bytes);
        ComPtr<IMFByteStream> byteStream;
        ComPtr<IMFAttributes> attributes;
        HRESULT hr = MFCreateMFByteStreamOnStream(stream.Get(), &byteStream);
        if (SUCCEEDED(hr)) hr = MFCreateAttributes(&attributes, 1);
        if (SUCCEEDED(hr)) hr = attributes->SetUINT32(processing, TRUE);
        if (SUCCEEDED(hr)) hr = MFCreateSourceReaderFromByteStream(byteStream.Get(), attributes.Get(), &reader_);
        if (SUCCEEDED(hr)) hr = reader_->SetStreamSelection(MF_SOURCE_READER_ALL_STREAMS, FALSE);
        if (SUCCEEDED(hr)) hr = reader_->SetStreamSelection(MF_SOURCE_READER_FIRST_VIDEO_STREAM, TRUE);
        return hr;
    }

    HRESULT AskForRgb32() {
        const ComPtr<IMFMediaType> type = VideoType(MFVideoFormat_RGB32, 0, 0);
        HRESULT hr = reader_->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr, type.Get());
        if (FAILED(hr)) return hr;
        ComPtr<IMFMediaType> current;
        hr = reader_->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, &current);
        if (SUCCEEDED(hr)) hr = MFGetAttributeSize(current.Get(), MF_MT_FRAME_SIZE, &width_, &height_);
        GUID subtype{};
        if (SUCCEEDED(hr)) hr = current->GetGUID(MF_MT_SUBTYPE, &subtype);
        if (SUCCEEDED(hr) && subtype != MFVideoFormat_RGB32) hr = MF_E_INVALIDMEDIATYPE;
        // The stride, when the type carries one, says top-down unpadded rows.
        UINT32 stride = 0;
        if (SUCCEEDED(hr) && SUCCEEDED(current->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) && stride != width_ * 4) {
            hr = MF_E_INVALIDMEDIATYPE;
        }
        return hr;
    }

    HRESULT Seek(LONGLONG time) {
        PROPVARIANT position;
        PropVariantInit(&position);
        position.vt = VT_I8;
        position.hVal.QuadPart = time;
        return reader_->SetCurrentPosition(GUID_NULL, position);
    }

    // The first picture at or after `time`.
    HRESULT ReadFrom(LONGLONG time, Picture& picture) {
        for (int guard = 0; guard < 200; ++guard) {
            DWORD flags = 0;
            LONGLONG stamp = 0;
            ComPtr<IMFSample> sample;
            const HRESULT hr = reader_->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, nullptr, &flags, &stamp, &sample);
            if (FAILED(hr)) return hr;
            if (flags & MF_SOURCE_READERF_ENDOFSTREAM) return MF_E_END_OF_STREAM;
            if (!sample || stamp < time) continue;
            ComPtr<IMFMediaBuffer> buffer;
            if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return E_FAIL;
            BYTE* data = nullptr;
            DWORD length = 0;
            if (FAILED(buffer->Lock(&data, nullptr, &length))) return E_FAIL;
            const DWORD wanted = width_ * height_ * 4;
            if (length >= wanted) picture.bgrx.assign(data, data + wanted);
            buffer->Unlock();
            if (length < wanted) return MF_E_BUFFERTOOSMALL;
            picture.width = width_;
            picture.height = height_;
            picture.time = stamp;
            return S_OK;
        }
        return E_FAIL;
    }

private:
    ComPtr<IMFSourceReader> reader_;
    UINT32 width_ = 0;
    UINT32 height_ = 0;
};

// Every pixel of a grid over the picture, edges included, is the colour.
::testing::AssertionResult SolidColour(const Picture& picture, Rgb want) {
    for (UINT32 y = 0; y < picture.height; y += std::max(1u, picture.height / 9)) {
        for (UINT32 x = 0; x < picture.width; x += std::max(1u, picture.width / 13)) {
            for (const UINT32 row : {y, picture.height - 1 - y}) {
                for (const UINT32 column : {x, picture.width - 1 - x}) {
                    const std::uint8_t* p = picture.bgrx.data() + (static_cast<size_t>(row) * picture.width + column) * 4;
                    if (std::abs(p[2] - want.r) > kVideoTolerance || std::abs(p[1] - want.g) > kVideoTolerance ||
                        std::abs(p[0] - want.b) > kVideoTolerance) {
                        return ::testing::AssertionFailure()
                               << "pixel " << column << "," << row << " is RGB " << int(p[2]) << " " << int(p[1]) << " "
                               << int(p[0]) << ", want " << want.r << " " << want.g << " " << want.b;
                    }
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

void ExpectTwoColours(const std::string& name, UINT32 width, UINT32 height, const GUID& processing) {
    Reader reader;
    ASSERT_HRESULT_SUCCEEDED(reader.Open(name, processing)) << name;
    ASSERT_HRESULT_SUCCEEDED(reader.AskForRgb32()) << name;

    Picture picture;
    ASSERT_HRESULT_SUCCEEDED(reader.ReadFrom(kSecond / 2, picture));
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_GE(picture.time, kSecond / 2);
    EXPECT_LT(picture.time, kSecond);
    EXPECT_TRUE(SolidColour(picture, kFirstColour)) << "at " << picture.time;

    ASSERT_HRESULT_SUCCEEDED(reader.Seek(kSecond * 3 / 2));
    ASSERT_HRESULT_SUCCEEDED(reader.ReadFrom(0, picture));
    EXPECT_GE(picture.time, kSecond - kSecond / 25); // the key frame at 1 s, or later
    EXPECT_LT(picture.time, 2 * kSecond);
    EXPECT_TRUE(SolidColour(picture, kSecondColour)) << "at " << picture.time;

    // Back before the change: the first colour again.
    ASSERT_HRESULT_SUCCEEDED(reader.Seek(0));
    ASSERT_HRESULT_SUCCEEDED(reader.ReadFrom(0, picture));
    EXPECT_LT(picture.time, kSecond / 2);
    EXPECT_TRUE(SolidColour(picture, kFirstColour)) << "at " << picture.time;
}

TEST_F(MediaFoundation, ReaderGivesRgb32FromH264) {
    ExpectTwoColours("two-colours-320x180.mp4", 320, 180, MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING);
}

TEST_F(MediaFoundation, ReaderGivesRgb32FromH264WithPaddedRows) {
    ExpectTwoColours("two-colours-330x186.mp4", 330, 186, MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING);
}

TEST_F(MediaFoundation, ReaderGivesRgb32FromWmv2) {
    ExpectTwoColours("two-colours-320x180.wmv", 320, 180, MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING);
}

TEST_F(MediaFoundation, ReaderGivesRgb32WithAdvancedProcessing) {
    ExpectTwoColours("two-colours-320x180.mp4", 320, 180, MF_SOURCE_READER_ENABLE_ADVANCED_VIDEO_PROCESSING);
}

} // namespace
