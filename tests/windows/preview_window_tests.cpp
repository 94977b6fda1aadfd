// The preview window on its own, with a loader and an owner of the test's:
// it shows what the loader delivers, holds its owner for each message and
// leaves messages alone once the owner is going, and forgets a window the
// host destroyed.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "preview/PreviewStateMessage.h"
#include "preview/PreviewWindow.h"
#include "platform/OwnedHandles.h"
#include "platform/QuivaneKey.h"
#include "preview/ViewOptionsSetting.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

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
    HRESULT OfferKeyToHost(const MSG& key) override {
        offered.push_back(key.wParam);
        return S_FALSE;
    }

    std::vector<WPARAM> offered; // the keys the window passed on to the host
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

namespace {

// A 36 x 36 image of red and blue, alternating pixel by pixel: 4x in the pane.
std::vector<std::uint8_t> TwoColourCheckerGif() {
    GifBuilder gif(36, 36, {{255, 0, 0}, {0, 0, 255}});
    GifFrameSpec frame;
    frame.width = 36;
    frame.height = 36;
    for (int y = 0; y < 36; ++y) {
        for (int x = 0; x < 36; ++x) frame.indices.push_back(static_cast<std::uint8_t>((x + y) % 2));
    }
    gif.AddFrame(frame);
    return gif.Build();
}

// An 8 x 8 image of transparent pixels only.
std::vector<std::uint8_t> TransparentGif() {
    GifBuilder gif(8, 8, {{0, 0, 0}, {255, 255, 255}});
    GifFrameSpec frame = SolidFrame(0, 0, 8, 8, 1);
    frame.transparentIndex = 1;
    gif.AddFrame(frame);
    return gif.Build();
}

std::uint32_t ColourAt(const Pixels& pixels, UINT x, UINT y) {
    const std::uint8_t* p = pixels.At(x, y);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
}

std::set<std::uint32_t> ColoursIn(const Pixels& pixels, UINT left, UINT top, UINT right, UINT bottom) {
    std::set<std::uint32_t> colours;
    for (UINT y = top; y < bottom; ++y) {
        for (UINT x = left; x < right; ++x) colours.insert(ColourAt(pixels, x, y));
    }
    return colours;
}

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kLightGrey = 0xCCCCCC;
constexpr std::uint32_t kDarkGrey = 0x999999;

class PreviewWindowView : public PreviewWindowAlone {
protected:
    void Key(WPARAM key) { SendMessageW(window.Handle(), WM_KEYDOWN, key, 1); }
    void Command(UINT command) { SendMessageW(window.Handle(), WM_COMMAND, command, 0); }

    void ShowFile(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
        loader.SetSource(StreamFromBytes(bytes).Get(), L"view.gif");
        ASSERT_EQ(window.Preview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] { return Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0; }));
    }

    // What a new preview window starts with, asked of it.
    std::array<LRESULT, 4> NextWindowsView() {
        TestWindow otherHost{kWidth, kHeight};
        CountingOwner otherOwner;
        PreviewLoader otherLoader;
        PreviewWindow other{otherOwner, otherLoader};
        std::array<LRESULT, 4> view = {};
        EXPECT_EQ(other.SetParent(otherHost.Handle(), kArea), S_OK);
        for (WPARAM i = 0; i < 4; ++i) view[i] = AskPreviewState(other.Handle(), kPreviewStateInfoLine + i);
        other.Detach();
        other.Destroy();
        return view;
    }

    std::array<LRESULT, 4> View() {
        std::array<LRESULT, 4> view = {};
        for (WPARAM i = 0; i < 4; ++i) view[i] = Ask(kPreviewStateInfoLine + i);
        return view;
    }

    PrivateUserRegistry registry{L"preview_window_tests"};
};

using View4 = std::array<LRESULT, 4>; // information line, speed percent, checkerboard, pixel exact

} // namespace

TEST_F(PreviewWindowView, KeysChangeTheViewAndTheNextWindowStartsWithIt) {
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
    EXPECT_EQ(View(), (View4{0, 100, 0, 0}));
    MSG checker = {window.Handle(), WM_KEYDOWN, 'T', 1, 0, {}};
    EXPECT_EQ(SendMessageW(window.Handle(), WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&checker)), DLGC_WANTALLKEYS);
    Key('I');
    Key('T');
    Key('P');
    Key(VK_OEM_6);
    EXPECT_EQ(View(), (View4{1, 200, 1, 1}));
    Key(VK_OEM_6);
    Key(VK_OEM_6); // already the fastest
    EXPECT_EQ(Ask(kPreviewStateSpeedPercent), 400);
    for (int i = 0; i < 4; ++i) Key(VK_OEM_4);
    Key(VK_OEM_4); // already the slowest
    EXPECT_EQ(Ask(kPreviewStateSpeedPercent), 25);
    Key('T');
    EXPECT_TRUE(window.RunCommandKey(MSG{host.Handle(), WM_KEYDOWN, 'I', 1, 0, {}})); // passed on by the host
    EXPECT_FALSE(window.RunCommandKey(MSG{host.Handle(), WM_SYSKEYDOWN, 'I', 1, 0, {}})); // Alt+I: the host's
    EXPECT_EQ(View(), (View4{0, 25, 0, 1}));
    EXPECT_EQ(NextWindowsView(), (View4{0, 25, 0, 1}));
}

TEST_F(PreviewWindowView, MenuItemsChangeTheViewAndTheNextWindowStartsWithIt) {
    ASSERT_EQ(window.SetParent(host.Handle(), kArea), S_OK);
    Command(IDM_SHOW_INFORMATION);
    Command(IDM_CHECKERBOARD);
    Command(IDM_SPEED_FIRST + 1);
    EXPECT_EQ(View(), (View4{1, 50, 1, 0}));
    Command(IDM_PIXEL_EXACT);
    Command(IDM_SHOW_INFORMATION);
    Command(IDM_SPEED_FIRST + 4);
    EXPECT_EQ(View(), (View4{0, 400, 1, 1}));
    EXPECT_EQ(NextWindowsView(), (View4{0, 400, 1, 1}));
}

TEST_F(PreviewWindowView, DamagedRememberedValuesReadAsDefaults) {
    const DWORD two = 2;
    const DWORD notASpeed = 150;
    const wchar_t text[] = L"1";
    const ULONGLONG wide = 1;
    PrivateUserRegistry::Set(kInfoLineValue, REG_SZ, text, sizeof(text));
    PrivateUserRegistry::Set(kSpeedPercentValue, REG_DWORD, &notASpeed, sizeof(notASpeed));
    PrivateUserRegistry::Set(kCheckerboardValue, REG_DWORD, &two, sizeof(two));
    PrivateUserRegistry::Set(kPixelExactValue, REG_QWORD, &wide, sizeof(wide));
    EXPECT_EQ(NextWindowsView(), (View4{0, 100, 0, 0}));
}

TEST_F(PreviewWindowView, PixelExactScalingShowsOnlyTheFramesColours) {
    ShowFile(TwoColourCheckerGif());
    const Pixels smooth = PrintedPicture(window.Handle());
    ASSERT_EQ(smooth.width, static_cast<UINT>(kWidth));
    const std::uint32_t background = ColourAt(smooth, 2, kHeight / 2);
    // Fitted smoothly at 4.17x, the colours blend where they meet.
    EXPECT_GT(ColoursIn(smooth, 0, 0, kWidth, kHeight).size(), 3u);
    Key('P');
    // At 4x, 144 x 144 from (28, 3): each pixel a square of its own colour.
    const Pixels exact = PrintedPicture(window.Handle());
    EXPECT_EQ(ColoursIn(exact, 28, 3, 172, 147), (std::set<std::uint32_t>{kRed, kBlue}));
    EXPECT_EQ(ColourAt(exact, 28, 3), kRed);
    EXPECT_EQ(ColourAt(exact, 28 + 4, 3), kBlue);
    EXPECT_EQ(ColourAt(exact, 28 + 3, 6), kRed);
    EXPECT_EQ(ColourAt(exact, 27, 3), background);
    EXPECT_EQ(ColourAt(exact, 100, 2), background);
    EXPECT_EQ(ColoursIn(exact, 0, 0, kWidth, kHeight).size(), 3u);
}

TEST_F(PreviewWindowView, TheCheckerboardShowsBehindTheFrameOnly) {
    ShowFile(TransparentGif());
    const Pixels plain = PrintedPicture(window.Handle());
    ASSERT_EQ(plain.width, static_cast<UINT>(kWidth));
    const std::uint32_t background = ColourAt(plain, 2, kHeight / 2);
    EXPECT_EQ(ColoursIn(plain, 0, 0, kWidth, kHeight), std::set<std::uint32_t>{background});
    Key('T');
    // The frame fits at 150 x 150 from (25, 0).
    const Pixels checkered = PrintedPicture(window.Handle());
    EXPECT_EQ(ColoursIn(checkered, 25, 0, 175, kHeight), (std::set<std::uint32_t>{kLightGrey, kDarkGrey}));
    EXPECT_EQ(ColoursIn(checkered, 0, 0, 25, kHeight), std::set<std::uint32_t>{background});
    EXPECT_EQ(ColoursIn(checkered, 175, 0, kWidth, kHeight), std::set<std::uint32_t>{background});
}

TEST_F(PreviewWindowView, TheInformationLineAndThePauseBadgeDrawOverTheFrameWhereTheyFit) {
    ShowFile(Gif(2));
    Key(VK_SPACE);
    ASSERT_EQ(Ask(kPreviewStatePaused), 1);
    // The 16 x 16 frame fits at 150 x 150 from (25, 0), the seek bar takes the bottom 40 rows,
    // the badge is 24 x 24, 8 in from the top right.
    const Pixels paused = PrintedPicture(window.Handle());
    ASSERT_EQ(paused.width, static_cast<UINT>(kWidth));
    const std::uint32_t background = ColourAt(paused, 2, 50);
    const std::uint32_t frame = ColourAt(paused, 100, 50);
    // Away from the frame's smoothed edges: the background, the frame, and nothing over them.
    EXPECT_EQ(ColoursIn(paused, 0, 0, 20, 100), std::set<std::uint32_t>{background});
    EXPECT_EQ(ColoursIn(paused, 30, 0, 160, 100), std::set<std::uint32_t>{frame});
    EXPECT_GT(ColoursIn(paused, 168, 8, 192, 32).size(), 2u);

    Key('I');
    const Pixels informed = PrintedPicture(window.Handle());
    // A band of its own colour along the top, words on it, the frame unchanged below.
    const std::uint32_t band = ColourAt(informed, 100, 1);
    EXPECT_NE(band, frame);
    EXPECT_NE(band, background);
    EXPECT_GT(ColoursIn(informed, 25, 0, 175, 24).size(), 3u);
    EXPECT_EQ(ColoursIn(informed, 30, 60, 160, 100), std::set<std::uint32_t>{frame});
    EXPECT_GT(ColoursIn(informed, 176, 24, kWidth, 60).size(), 1u); // the badge, moved under the band

    Key(VK_SPACE); // playing: the badge goes, the line stays
    const Pixels playing = PrintedPicture(window.Handle());
    EXPECT_EQ(ColourAt(playing, 100, 1), band);
    EXPECT_EQ(ColoursIn(playing, 176, 24, kWidth, 60), std::set<std::uint32_t>{background});

    // A pane too small for either: paused with the line on, it shows what it shows playing without it.
    ASSERT_EQ(window.SetRect(RECT{0, 0, 48, 36}), S_OK);
    Key(VK_SPACE);
    const Pixels tiny = PrintedPicture(window.Handle());
    ASSERT_EQ(tiny.width, 48u);
    Key(VK_SPACE);
    Key('I');
    EXPECT_EQ(PrintedPicture(window.Handle()).bytes, tiny.bytes); // no message pumped: the same frame
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
