// Streams as hosts hand them over (zip folders, phones, cloud placeholders):
// reads shorter than asked, S_FALSE before the end, no Stat, no Seek. Every
// format gives the same thumbnail and the same preview from such a stream as
// from a plain one; a stream that fails part-way fails the file, nothing more.
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "platform/ServerClasses.h"
#include "platform/ComAdopt.h"
#include "platform/WicImaging.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"

#include <gtest/gtest.h>

#include <thumbcache.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

// How a host's stream misbehaves.
struct StreamShape {
    const char* name;
    ULONG largestRead;    // no read gives more, whatever was asked
    bool sFalseWhenShort; // S_FALSE for a read that gives less than asked; S_OK otherwise, even at the end
    bool refusesStat;
    bool refusesSeek;     // read forward only, from where it stands
    bool freeThreaded;    // else it belongs to this apartment and other threads read it through a proxy
    ULONGLONG failsFrom = ~0ull; // a read of bytes from here on fails
};

// 1-byte reads go to a free-threaded stream: through a proxy each would be a
// round trip through this thread.
const StreamShape kShapes[] = {
    {"one byte a read", 1, false, false, false, true},
    {"4,097 bytes a read, S_FALSE when short", 4097, true, false, false, false},
    {"no Stat", 4097, true, true, false, false},
    {"no Seek", 4097, true, false, true, false},
    {"forward only, one byte a read, no Stat", 1, false, true, true, true},
    {"forward only, no Stat, S_FALSE when short", 4097, true, true, true, false},
};

class HostStream final : public IStream {
public:
    HostStream(std::vector<std::uint8_t> bytes, const StreamShape& shape) : bytes_(std::move(bytes)), shape_(shape) {
        if (shape.freeThreaded) CoCreateFreeThreadedMarshaler(this, &marshaler_);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IMarshal && marshaler_) return marshaler_->QueryInterface(iid, out);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (read != nullptr) *read = 0;
        const ULONGLONG left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        const ULONG count = static_cast<ULONG>(std::min<ULONGLONG>({size, shape_.largestRead, left}));
        if (count > 0 && position_ + count > shape_.failsFrom) return STG_E_READFAULT;
        std::copy_n(bytes_.data() + position_, count, static_cast<std::uint8_t*>(data));
        position_ += count;
        if (read != nullptr) *read = count;
        return count < size && shape_.sFalseWhenShort ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* result) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (shape_.refusesSeek) return STG_E_INVALIDFUNCTION;
        const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                              : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(position_)
                                                          : static_cast<LONGLONG>(bytes_.size());
        if (origin > STREAM_SEEK_END || base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(base + move.QuadPart);
        if (result != nullptr) result->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = {};
        if (shape_.refusesStat) return E_NOTIMPL;
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return STG_E_INVALIDFUNCTION; }

private:
    ~HostStream() = default;

    LONG references_ = 1;
    const std::vector<std::uint8_t> bytes_;
    const StreamShape shape_;
    std::mutex lock_;
    ULONGLONG position_ = 0;
    ComPtr<IUnknown> marshaler_;
};

ComPtr<IStream> MakeHostStream(const std::vector<std::uint8_t>& bytes, const StreamShape& shape) {
    ComPtr<IStream> stream;
    AdoptReference(stream, new HostStream(bytes, shape));
    return stream;
}

struct Sample {
    const char* format;
    const char* file; // from the source tree's root
    bool video;
};

const Sample kSamples[] = {
    {"GIF", "samples/bouncing_ball.gif", false},
    {"APNG", "samples/bouncing_ball.png", false},
    {"PNG", "samples/still_ball.png", false},
    {"WebP", "samples/bouncing_ball.webp", false},
    {"MP4", "tests/fixtures/video/black_then_bright.mp4", true},
    {"WMV", "tests/fixtures/video/pattern.wmv", true},
};

struct Outcome {
    HRESULT hr = E_FAIL;
    LRESULT frameCount = -1;
    Pixels picture;
};

Outcome Thumbnail(const ComPtr<IStream>& stream, const std::string& what = {}) {
    Outcome out;
    auto factory = ServerClassFactory(CLSID_QuivaneThumbnailProvider);
    ComPtr<IThumbnailProvider> provider;
    EXPECT_TRUE(factory);
    if (!factory) return out;
    EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IThumbnailProvider), reinterpret_cast<void**>(provider.GetAddressOf())),
              S_OK);
    ComPtr<IInitializeWithStream> init;
    if (!provider || FAILED(provider.As(&init)) || FAILED(init->Initialize(stream.Get(), STGM_READ))) return out;
    // Asked twice, as a host may: the second comes from a stream read once already.
    for (int time = 0; time < 2; ++time) {
        Outcome made;
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        made.hr = provider->GetThumbnail(96, &bitmap, &alpha);
        if (FAILED(made.hr)) {
            EXPECT_EQ(bitmap, nullptr);
        } else {
            DIBSECTION section = {};
            EXPECT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
            made.picture.width = static_cast<UINT>(section.dsBm.bmWidth);
            made.picture.height = static_cast<UINT>(section.dsBm.bmHeight);
            const auto* bits = static_cast<const std::uint8_t*>(section.dsBm.bmBits);
            made.picture.bytes.assign(bits, bits + static_cast<size_t>(made.picture.width) * made.picture.height * 4);
            DeleteObject(bitmap);
        }
        if (time == 0) {
            out = std::move(made);
        } else if (SUCCEEDED(out.hr)) {
            EXPECT_EQ(made.hr, S_OK) << what << ": the second thumbnail";
            EXPECT_TRUE(made.picture.bytes == out.picture.bytes) << what << ": the second thumbnail";
        }
    }
    return out;
}


constexpr int kWidth = 320;
constexpr int kHeight = 240;

TestWindow& SharedHost() {
    static TestWindow* shared = new TestWindow(kWidth, kHeight);
    return *shared;
}

// A preview handler in the shared host window, driven as a host and a user
// drive it, and read through its window's state message.
class PreviewSession {
public:
    explicit PreviewSession(const ComPtr<IStream>& stream) {
        EXPECT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler_)), S_OK);
        ComPtr<IInitializeWithStream> init;
        if (!handler_ || FAILED(handler_.As(&init)) || FAILED(init->Initialize(stream.Get(), STGM_READ))) return;
        const RECT area = {0, 0, kWidth, kHeight};
        EXPECT_EQ(handler_->SetWindow(SharedHost().Handle(), &area), S_OK);
        EXPECT_EQ(handler_->DoPreview(), S_OK);
        started_ = true;
        WaitUntilSettled();
    }
    ~PreviewSession() {
        if (handler_) {
            EXPECT_EQ(handler_->Unload(), S_OK);
        }
    }
    PreviewSession(const PreviewSession&) = delete;
    PreviewSession& operator=(const PreviewSession&) = delete;

    // The key, then the wait until the load it may start is over.
    void Press(WPARAM key) {
        if (!started_) return;
        SendMessageW(PreviewWindowOf(handler_.Get()), WM_KEYDOWN, key, 1);
        WaitUntilSettled();
    }

    // The load's result, the frame count and the picture shown.
    Outcome Now() {
        Outcome out;
        if (!started_) return out;
        out.hr = static_cast<HRESULT>(Ask(kPreviewStateLoadResult));
        out.frameCount = Ask(kPreviewStateFrameCount);
        if (SUCCEEDED(out.hr)) {
            out.picture = PrintedPicture(PreviewWindowOf(handler_.Get()));
            EXPECT_EQ(out.picture.width, static_cast<UINT>(kWidth));
        }
        return out;
    }

private:
    LRESULT Ask(WPARAM question) { return AskPreviewState(PreviewWindowOf(handler_.Get()), question); }
    // Every frame decoded and nothing loading.
    void WaitUntilSettled() {
        EXPECT_TRUE(PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; }));
    }

    ComPtr<IPreviewHandler> handler_;
    bool started_ = false;
};

// The preview once every frame is decoded, after `keys`.
Outcome Preview(const ComPtr<IStream>& stream, const std::vector<WPARAM>& keys = {}) {
    PreviewSession session(stream);
    for (const WPARAM key : keys) session.Press(key);
    return session.Now();
}

void ExpectSame(const Outcome& plain, const Outcome& hosted, const std::string& what) {
    ASSERT_EQ(plain.hr, S_OK) << what << ": the plain stream";
    EXPECT_EQ(hosted.hr, S_OK) << what;
    EXPECT_EQ(hosted.frameCount, plain.frameCount) << what;
    EXPECT_EQ(hosted.picture.width, plain.picture.width) << what;
    EXPECT_EQ(hosted.picture.height, plain.picture.height) << what;
    EXPECT_TRUE(hosted.picture.bytes == plain.picture.bytes) << what << ": another picture";
}

} // namespace

TEST(HostStream, EveryFormatGivesTheSameThumbnailFromEveryShapeOfStream) {
    for (const Sample& sample : kSamples) {
        const auto bytes = SourceTreeFile(sample.file);
        ASSERT_FALSE(bytes.empty()) << sample.file;
        const Outcome plain = Thumbnail(StreamFromBytes(bytes));
        for (const StreamShape& shape : kShapes) {
            const std::string what = std::string(sample.format) + ", " + shape.name;
            ExpectSame(plain, Thumbnail(MakeHostStream(bytes, shape), what), what);
        }
    }
}

TEST(HostStream, EveryFormatGivesTheSamePreviewFromEveryShapeOfStream) {
    for (const Sample& sample : kSamples) {
        const auto bytes = SourceTreeFile(sample.file);
        ASSERT_FALSE(bytes.empty()) << sample.file;
        // An animation plays on: it is paused on its last frame, the picture compared.
        const std::vector<WPARAM> keys = sample.video ? std::vector<WPARAM>{} : std::vector<WPARAM>{VK_SPACE, VK_END};
        const Outcome plain = Preview(StreamFromBytes(bytes), keys);
        if (plain.frameCount <= 0) {
            ADD_FAILURE() << sample.file << ": no preview from a plain stream";
            continue;
        }
        // A preview costs a window's worth of work: these three shapes hold every
        // misbehaviour between them (the thumbnails above take each alone).
        for (const StreamShape& shape : {kShapes[0], kShapes[2], kShapes[5]}) {
            ExpectSame(plain, Preview(MakeHostStream(bytes, shape), keys), std::string(sample.format) + ", " + shape.name);
        }
    }
}

// A video's seek loads it again: from a stream read forward only, that is
// from the bytes the first load kept, since the stream itself is spent. (A
// seek has a deadline, which a busy machine may miss: End is pressed until
// the picture moves or it is plain that it never will.)
TEST(HostStream, AVideoFromAForwardOnlyStreamStillSeeks) {
    const auto bytes = SourceTreeFile("tests/fixtures/video/black_then_bright.mp4");
    ASSERT_FALSE(bytes.empty());
    for (const StreamShape& shape : {kShapes[4], kShapes[5]}) {
        PreviewSession session(MakeHostStream(bytes, shape));
        const Outcome still = session.Now();
        ASSERT_EQ(still.hr, S_OK) << shape.name;
        bool moved = false;
        for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
            session.Press(VK_END); // from the representative still to the end
            const Outcome now = session.Now();
            EXPECT_EQ(now.hr, S_OK) << shape.name;
            moved = now.picture.bytes != still.picture.bytes;
        }
        EXPECT_TRUE(moved) << shape.name << ": the seek never showed another picture";
    }
}

// A stream that stops part-way (a phone unplugged) fails the file with the
// stream's own error when the file is read whole first: every picture, and a
// video from a stream read forward only. (A video's reader may show a still
// from the part it could read.)
TEST(HostStream, AReadFailingPartWayFailsTheFileWithTheStreamsError) {
    for (const Sample& sample : kSamples) {
        const auto bytes = SourceTreeFile(sample.file);
        ASSERT_FALSE(bytes.empty()) << sample.file;
        for (StreamShape shape : {kShapes[1], kShapes[5]}) {
            if (sample.video && !shape.refusesSeek) continue;
            shape.failsFrom = bytes.size() / 2;
            const std::string what = std::string(sample.format) + ", " + shape.name;
            EXPECT_EQ(Thumbnail(MakeHostStream(bytes, shape)).hr, STG_E_READFAULT) << what;
            const Outcome preview = Preview(MakeHostStream(bytes, shape));
            EXPECT_EQ(preview.hr, STG_E_READFAULT) << what;
            EXPECT_EQ(preview.frameCount, -1) << what;
        }
    }
}
