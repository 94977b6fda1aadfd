// The WebP frame source over the platform's WebP codec (in the test prefix, the
// stand-in decoder under tests/support), and its delay rule against a
// scripted metadata reader.
#include "TestSupport.h"
#include "formats/webp/WebPFrameDelay.h"
#include "frames/StopToken.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::vector<std::uint8_t> Fixture(const std::string& name) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    if (source == nullptr) return {};
    return ReadFileBytes(WindowsPathFromUnix(std::string(source) + "/tests/support/webp_wic/fixtures/" + name));
}

// A metadata reader that answers from a table of names and values.
class ScriptedReader final : public IWICMetadataQueryReader {
public:
    std::map<std::wstring, PROPVARIANT> values;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IWICMetadataQueryReader) return E_NOINTERFACE;
        *out = static_cast<IWICMetadataQueryReader*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; } // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLocation(UINT, WCHAR*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMetadataByName(LPCWSTR name, PROPVARIANT* value) override {
        asked.push_back(name);
        const auto found = values.find(name);
        if (found == values.end()) return WINCODEC_ERR_PROPERTYNOTFOUND;
        *value = found->second; // plain values only: nothing to copy deeply
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumString**) override { return E_NOTIMPL; }

    std::vector<std::wstring> asked;
};

PROPVARIANT Value(VARTYPE type, long long number) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = type;
    switch (type) {
    case VT_UI1: value.bVal = static_cast<BYTE>(number); break;
    case VT_UI2: value.uiVal = static_cast<USHORT>(number); break;
    case VT_UI4: value.ulVal = static_cast<ULONG>(number); break;
    case VT_I4: value.lVal = static_cast<LONG>(number); break;
    case VT_I2: value.iVal = static_cast<SHORT>(number); break;
    default: break;
    }
    return value;
}

} // namespace

TEST(WebPFrameDelay, FirstNonZeroOfTheThreeNamesInOrder) {
    ScriptedReader reader;
    EXPECT_EQ(WebPFrameDelayMs(&reader), 100u); // nothing at all
    EXPECT_EQ(reader.asked, (std::vector<std::wstring>{L"/ANMF/Duration", L"/anmf/Duration", L"/imgdesc/Delay"}));

    reader.values = {{L"/ANMF/Duration", Value(VT_UI4, 120)}, {L"/anmf/Duration", Value(VT_UI4, 300)}};
    reader.asked.clear();
    EXPECT_EQ(WebPFrameDelayMs(&reader), 120u);
    EXPECT_EQ(reader.asked.size(), 1u); // the rest are not asked

    reader.values = {{L"/ANMF/Duration", Value(VT_UI4, 0)}, {L"/anmf/Duration", Value(VT_UI2, 300)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 300u); // 0 falls through
    reader.values = {{L"/ANMF/Duration", Value(VT_I4, -40)}, {L"/imgdesc/Delay", Value(VT_UI1, 70)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 70u); // a negative VT_I4 is ignored
    reader.values = {{L"/ANMF/Duration", Value(VT_I4, 45)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 45u);
    reader.values = {{L"/ANMF/Duration", Value(VT_I2, 45)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 100u); // other types count as 0
    reader.values = {{L"/ANMF/Duration", Value(VT_UI4, 5)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 10u);
    reader.values = {{L"/ANMF/Duration", Value(VT_UI4, 11)}};
    EXPECT_EQ(WebPFrameDelayMs(&reader), 11u);
    EXPECT_EQ(WebPFrameDelayMs(nullptr), 100u);
}

TEST(WebPRenderer, FramesAndDurationsOfRealFiles) {
    struct Case {
        const char* file;
        std::vector<std::uint32_t> delays;
        UINT width, height;
    };
    const Case cases[] = {
        {"still-lossy.webp", {100}, 32, 24},
        {"still-lossless-alpha.webp", {100}, 20, 14},
        {"anim-lossless.webp", {80, 160, 240, 50}, 24, 20},
        {"anim-lossy.webp", {70, 130, 200}, 24, 20},
    };
    for (const Case& c : cases) {
        const SourceFrames read = ReadSourceFrames(L".webp", Fixture(c.file));
        ASSERT_EQ(read.hr, S_OK) << c.file;
        ASSERT_EQ(read.frames.size(), c.delays.size()) << c.file;
        for (std::uint32_t i = 0; i < c.delays.size(); ++i) {
            EXPECT_EQ(read.delays[i], c.delays[i]) << c.file << " frame " << i;
            EXPECT_EQ(read.frames[i].width, c.width);
            EXPECT_EQ(read.frames[i].height, c.height);
        }
    }
}

TEST(WebPRenderer, LosslessStillMatchesTheReferenceDecoder) {
    const SourceFrames read = ReadSourceFrames(L".webp", Fixture("still-lossless-alpha.webp"));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    const Pixels& actual = read.frames[0];
    // dwebp's output: a PAM of straight RGBA after a text header ending in ENDHDR.
    const auto pam = Fixture("still-lossless-alpha.expected.pam");
    const std::string text(pam.begin(), pam.end());
    const size_t start = text.find("ENDHDR\n");
    ASSERT_NE(start, std::string::npos);
    const std::uint8_t* rgba = pam.data() + start + 7;
    ASSERT_EQ(pam.size() - (start + 7), static_cast<size_t>(actual.width) * actual.height * 4);
    for (UINT y = 0; y < actual.height; ++y) {
        for (UINT x = 0; x < actual.width; ++x) {
            const std::uint8_t* e = rgba + (static_cast<size_t>(y) * actual.width + x) * 4;
            const std::uint8_t* a = actual.At(x, y);
            const int expected[4] = {(e[2] * e[3] + 127) / 255, (e[1] * e[3] + 127) / 255, (e[0] * e[3] + 127) / 255,
                                     e[3]};
            for (int c = 0; c < 4; ++c) ASSERT_NEAR(a[c], expected[c], 1) << x << "," << y << " channel " << c;
        }
    }
}

TEST(WebPRenderer, BadFilesFailCleanly) {
    const auto original = Fixture("anim-lossless.webp");
    ASSERT_FALSE(original.empty());
    std::uint32_t state = 11;
    for (int variant = 0; variant < 120; ++variant) {
        auto bytes = original;
        if (variant % 2 == 0) {
            bytes.resize(bytes.size() * variant / 120);
        } else {
            for (int f = 0; f < 3; ++f) {
                state = state * 1664525u + 1013904223u;
                bytes[state % bytes.size()] ^= static_cast<std::uint8_t>(1u << (state >> 29));
            }
        }
        const SourceFrames read = ReadSourceFrames(L".webp", bytes); // may fail, must not crash
        for (std::uint32_t delay : read.delays) EXPECT_GE(delay, 10u) << "variant " << variant;
    }
}

TEST(WebPRenderer, StopRequestEndsTheDecodeWithNoFrames) {
    std::atomic<std::uint64_t> generation{5};
    const SourceFrames read = ReadSourceFrames(L".webp", Fixture("anim-lossless.webp"), StopToken(&generation, 4));
    EXPECT_EQ(read.hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(read.frames.size(), 0u);
}
