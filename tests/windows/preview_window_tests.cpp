// The preview window on its own, with a loader and an owner of the test's:
// it shows what the loader delivers, holds its owner for each message and
// leaves messages alone once the owner is going, and forgets a window the
// host destroyed.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "preview/PreviewStateMessage.h"
#include "preview/PreviewWindow.h"

#include <gtest/gtest.h>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 150;
const RECT kArea = {0, 0, kWidth, kHeight};

// Counts the references the window takes; once `going`, it has none to give.
class CountingOwner final : public IUnknown, public PreviewWindowOwner {
public:
    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override {
        ++taken;
        return static_cast<ULONG>(++references);
    }
    IFACEMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }
    IUnknown* TryAddRef() override {
        if (going) return nullptr;
        AddRef();
        return this;
    }

    LONG references = 1;
    int taken = 0;
    bool going = false;
};

std::vector<std::uint8_t> Gif(int frames) {
    GifBuilder gif(16, 16, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
    for (int i = 0; i < frames; ++i) gif.AddFrame(SolidFrame(0, 0, 16, 16, static_cast<std::uint8_t>(1 + i % 2)));
    return gif.Build();
}

// A GIF cut inside its only image: damaged, with nothing to show.
std::vector<std::uint8_t> CutGif() {
    GifBuilder gif(4, 4, {{0, 0, 0}, {255, 0, 0}});
    std::vector<std::uint8_t> cut = gif.AddFrame(SolidFrame(0, 0, 4, 4, 1)).Build();
    cut.resize(cut.size() - 6);
    return cut;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

class PreviewWindowAlone : public testing::Test {
protected:
    void TearDown() override {
        window.Detach();
        loader.CancelAll();
        window.Destroy();
    }

    LRESULT Ask(WPARAM question) { return AskPreviewState(window.Handle(), question); }
    // Previews `bytes` as `name` and waits until the load has ended.
    void PreviewBytes(const std::vector<std::uint8_t>& bytes, const wchar_t* name) {
        loader.SetSource(StreamFromBytes(bytes).Get(), name);
        ASSERT_EQ(window.Preview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; }));
    }

    TestWindow host{kWidth, kHeight};
    CountingOwner owner;
    PreviewLoader loader;
    PreviewWindow window{owner, loader};
};

} // namespace

TEST_F(PreviewWindowAlone, ShowsWhatItsLoaderDelivers) {
    EXPECT_EQ(window.Preview(), E_FAIL); // no host window yet, nothing to load
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
    EXPECT_EQ(GetParent(window.Handle()), host.Handle());
    EXPECT_EQ(window.Preview(), E_FAIL); // the loader has no file
    loader.SetSource(StreamFromBytes(Gif(3)).Get(), L"three.gif");
    ASSERT_EQ(window.Preview(), S_OK);
    ASSERT_TRUE(PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; }));
    EXPECT_EQ(Ask(kPreviewStateFrameCount), 3);
    EXPECT_EQ(Ask(kPreviewStateLoadResult), S_OK);
}

TEST_F(PreviewWindowAlone, HoldsItsOwnerForEachMessageAndLeavesMessagesAloneOnceTheOwnerIsGoing) {
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
    const int before = owner.taken;
    EXPECT_EQ(Ask(0), kPreviewStateLoading); // the indicator until a file is loaded
    EXPECT_GT(owner.taken, before);
    EXPECT_EQ(owner.references, 1); // given back after the message

    owner.going = true;
    EXPECT_EQ(Ask(0), 0); // the default procedure's answer
    HWND child = window.Handle();
    window.Detach();
    window.Destroy();
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(PreviewWindowAlone, AWindowTheHostDestroyedIsForgotten) {
    auto owned = std::make_unique<TestWindow>(kWidth, kHeight);
    ASSERT_EQ(window.SetParent(owned->Handle(), kArea), S_OK);
    HWND child = window.Handle();
    ASSERT_TRUE(IsWindow(child));
    owned.reset();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(window.Handle(), nullptr);
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK); // a new host window: a new preview window
    EXPECT_EQ(GetParent(window.Handle()), host.Handle());
}

TEST_F(PreviewWindowAlone, AFileItCannotShowIsToldInTheWindowsTextUntilALoadSucceeds) {
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
    EXPECT_EQ(WindowText(window.Handle()), L"");

    PreviewBytes(CutGif(), L"cut.gif");
    EXPECT_EQ(static_cast<HRESULT>(Ask(kPreviewStateLoadResult)), WINCODEC_ERR_BADIMAGE);
    EXPECT_EQ(WindowText(window.Handle()), L"Cannot preview this file. The file is damaged or cut short.");

    const char notes[] = "These are plain words, in no picture's format.";
    PreviewBytes(std::vector<std::uint8_t>(notes, notes + sizeof(notes)), L"notes.qvx");
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(Ask(kPreviewStateLoadResult))));
    EXPECT_EQ(WindowText(window.Handle()), L"Cannot preview this file. The file is not in a format this preview knows.");

    PreviewBytes(Gif(2), L"two.gif");
    EXPECT_EQ(Ask(kPreviewStateLoadResult), S_OK);
    EXPECT_EQ(WindowText(window.Handle()), L"");
    EXPECT_EQ(Ask(kPreviewStateFrameCount), 2);
}
