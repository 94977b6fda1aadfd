// The preview handler driven through its COM interfaces in a real window on
// the test display: life cycle, loading, keys, wheel, seek bar, context menu,
// concurrency and bad files.
#include "ApngBuilder.h"
#include "GifBuilder.h"
#include "LongPictures.h"
#include "PreviewWindowFixture.h"
#include "TestHost.h"
#include "TestSupport.h"
#include "platform/ServerClasses.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "imaging/CanvasLimits.h"
#include "frames/FrameBudget.h"
#include "formats/gif/GifControlBlocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

// The longest delay a GIF can state (about 11 minutes): the clock cannot move
// such a picture during a test, however slow the machine.
constexpr std::uint16_t kFrozen = 65535;

// A GIF whose frame i is filled with palette colour 1 + (first - 1 + i) % 4
// (red, green, blue, white), each shown `delay` hundredths.
std::vector<std::uint8_t> ColourGif(int frames, std::uint16_t delay = kFrozen, std::uint16_t size = 40, int first = 1) {
    GifBuilder gif(size, size, kPalette);
    for (int i = 0; i < frames; ++i) {
        GifFrameSpec frame = SolidFrame(0, 0, size, size, static_cast<std::uint8_t>(1 + (first - 1 + i) % 4));
        frame.delayHundredths = delay;
        gif.AddFrame(frame);
    }
    return gif.Build();
}


void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

class PreviewHandler : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    }
    void TearDown() override {
        if (handler) handler->Unload();
    }

    // What a host sees: the window it finds through IOleWindow, and its answers to the state message.
    HWND Preview() { return PreviewWindowOf(handler.Get()); }
    LRESULT Ask(WPARAM question) { return AskPreviewState(Preview(), question); }
    bool Showing() { return Ask(0) == kPreviewStateShowing; }
    bool Loading() { return Ask(0) == kPreviewStateLoading; }
    bool Decoding() { return Ask(kPreviewStateDecoding) == 1; }
    bool Paused() { return Ask(kPreviewStatePaused) == 1; }
    bool Seeking() { return Ask(kPreviewStateSeeking) == 1; }
    LRESULT FrameCount() { return Ask(kPreviewStateFrameCount); }

    void InitializeWith(const std::vector<std::uint8_t>& bytes) {
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(handler.As(&init), S_OK);
        ASSERT_EQ(init->Initialize(StreamFromBytes(bytes).Get(), STGM_READ), S_OK);
    }

    void Show() {
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(handler->SetWindow(host.Handle(), &rect), S_OK);
    }

    void PreviewAndWait(const std::vector<std::uint8_t>& bytes) {
        InitializeWith(bytes);
        Show();
        ASSERT_EQ(handler->DoPreview(), S_OK);
        WaitUntilEveryFrameIsDecoded();
    }

    void PreviewAndFirstFrame(const std::vector<std::uint8_t>& bytes) {
        InitializeWith(bytes);
        Show();
        ASSERT_EQ(handler->DoPreview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] { return Showing(); }));
    }

    // The first frame is shown while the rest decode in the background; a
    // small file's worker ends once it holds every frame.
    void WaitUntilEveryFrameIsDecoded() {
        ASSERT_TRUE(PumpUntil([this] { return Showing() && !Decoding(); }));
    }

    LRESULT ShownFrame() { return Ask(kPreviewStateShownFrame); }
    void Key(WPARAM key) { SendMessageW(Preview(), WM_KEYDOWN, key, 1); }
    LRESULT LoadResult() { return Ask(kPreviewStateLoadResult); }

    // The picture the window shows, as a host capturing it gets it.
    Pixels Picture() { return PrintedPicture(Preview()); }

    // What copying the frame on screen puts on the clipboard: the frame whole.
    Pixels CopiedFrame() {
        Pixels pixels;
        EXPECT_TRUE(OpenClipboard(host.Handle()));
        EmptyClipboard();
        CloseClipboard();
        SendMessageW(Preview(), WM_COMMAND, IDM_COPY_FRAME, 0);
        EXPECT_TRUE(PumpUntil([] { return IsClipboardFormatAvailable(CF_DIB) != FALSE; }));
        if (!OpenClipboard(host.Handle())) return pixels;
        if (HANDLE data = GetClipboardData(CF_DIB)) {
            const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(data));
            BITMAPINFOHEADER header = {};
            std::memcpy(&header, bytes, sizeof(header));
            EXPECT_EQ(header.biBitCount, 32);
            EXPECT_LT(header.biHeight, 0); // top-down rows
            pixels.width = static_cast<UINT>(header.biWidth);
            pixels.height = static_cast<UINT>(-header.biHeight);
            const std::size_t size = static_cast<std::size_t>(pixels.width) * pixels.height * 4;
            EXPECT_GE(GlobalSize(data), header.biSize + size);
            pixels.bytes.assign(bytes + header.biSize, bytes + header.biSize + size);
            GlobalUnlock(data);
        }
        EmptyClipboard();
        CloseClipboard();
        return pixels;
    }

    static TestWindow& SharedHost() {
        static TestWindow* shared = new TestWindow(kWidth, kHeight);
        return *shared;
    }
    TestWindow& host = SharedHost();
    ComPtr<IPreviewHandler> handler;
};

MSG KeyMessage(HWND window, UINT message, WPARAM key) {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = key;
    msg.lParam = 1;
    return msg;
}

bool IsColour(const std::uint8_t* p, int b, int g, int r) {
    return std::abs(p[0] - b) <= 3 && std::abs(p[1] - g) <= 3 && std::abs(p[2] - r) <= 3;
}

} // namespace

TEST_F(PreviewHandler, AnswersItsInterfacesAndRefusesOthers) {
    const IID supported[] = {IID_IUnknown,         IID_IPreviewHandler,  IID_IInitializeWithStream,
                             IID_IInitializeWithFile, IID_IInitializeWithItem, IID_IObjectWithSite,
                             IID_IOleWindow,       IID_IPreviewHandlerVisuals};
    for (const IID& iid : supported) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(handler->QueryInterface(iid, reinterpret_cast<void**>(unknown.GetAddressOf())), S_OK);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(handler->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(none.GetAddressOf())),
              E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(handler->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreatePreviewHandler(IID_IPersistFile, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(PreviewHandler, ArgumentsAndOrderAreChecked) {
    ComPtr<IInitializeWithFile> file;
    ASSERT_EQ(handler.As(&file), S_OK);
    EXPECT_EQ(file->Initialize(L"", STGM_READ), E_INVALIDARG);
    EXPECT_EQ(file->Initialize(nullptr, STGM_READ), E_INVALIDARG);
    EXPECT_EQ(file->Initialize(L"Z:\\no\\such\\file.gif", STGM_READ), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ComPtr<IInitializeWithStream> stream;
    ASSERT_EQ(handler.As(&stream), S_OK);
    EXPECT_EQ(stream->Initialize(nullptr, STGM_READ), E_POINTER);
    ComPtr<IInitializeWithItem> item;
    ASSERT_EQ(handler.As(&item), S_OK);
    EXPECT_EQ(item->Initialize(nullptr, STGM_READ), E_INVALIDARG);

    EXPECT_EQ(handler->DoPreview(), E_FAIL); // no parent, no source
    RECT rect = {1, 2, 3, 4};
    EXPECT_EQ(handler->SetRect(&rect), S_OK);
    EXPECT_EQ(handler->SetRect(nullptr), E_INVALIDARG);
    EXPECT_EQ(handler->SetWindow(nullptr, &rect), E_INVALIDARG);
    EXPECT_EQ(handler->SetWindow(host.Handle(), nullptr), E_INVALIDARG);
    EXPECT_EQ(handler->TranslateAccelerator(nullptr), S_FALSE);
    EXPECT_EQ(handler->QueryFocus(nullptr), E_POINTER);

    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(handler.As(&site), S_OK);
    ComPtr<IUnknown> got;
    EXPECT_EQ(site->GetSite(IID_IUnknown, reinterpret_cast<void**>(got.GetAddressOf())), E_FAIL);
    EXPECT_EQ(site->GetSite(IID_IUnknown, nullptr), E_POINTER);

    ComPtr<IOleWindow> window;
    ASSERT_EQ(handler.As(&window), S_OK);
    EXPECT_EQ(window->ContextSensitiveHelp(TRUE), E_NOTIMPL);
    EXPECT_EQ(window->GetWindow(nullptr), E_POINTER);
    ComPtr<IPreviewHandlerVisuals> visuals;
    ASSERT_EQ(handler.As(&visuals), S_OK);
    EXPECT_EQ(visuals->SetFont(nullptr), E_INVALIDARG);
}

TEST_F(PreviewHandler, DoPreviewShowsTheIndicatorThenTheFirstFrame) {
    InitializeWith(ColourGif(3));
    Show();
    HWND child = Preview();
    ASSERT_NE(child, nullptr);
    EXPECT_NE(child, host.Handle());
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    EXPECT_STREQ(className, L"QuivanePreviewWindow");
    EXPECT_EQ(GetWindowLongW(child, GWL_STYLE) & 0x56010000, 0x56010000);
    EXPECT_TRUE(Loading());

    ASSERT_EQ(handler->DoPreview(), S_OK);
    ASSERT_TRUE(PumpUntil([this] { return Showing(); }));
    EXPECT_EQ(FrameCount(), 3);
    const Pixels picture = Picture(); // 40x40 red fitted into 400x300: (50, 0) - (350, 300)
    EXPECT_TRUE(IsColour(picture.At(200, 100), 0, 0, 255));
    EXPECT_FALSE(IsColour(picture.At(20, 100), 0, 0, 255));
    // A host that captures again, with no repaint between, gets the same picture.
    const Pixels again = Picture();
    EXPECT_TRUE(IsColour(again.At(200, 100), 0, 0, 255));
    const std::uint8_t* background = picture.At(20, 100);
    EXPECT_TRUE(IsColour(again.At(20, 100), background[0], background[1], background[2]));
}

TEST_F(PreviewHandler, FramesAdvanceWithTime) {
    PreviewAndWait(ColourGif(4, 20));
    // A tick moves at most 250 ms, two frames of 200 ms: a wrap always shows as a lower index.
    LRESULT previous = 0;
    bool advanced = false;
    bool wrapped = false;
    EXPECT_TRUE(PumpUntil([&] {
        const LRESULT shown = ShownFrame();
        advanced |= shown != 0;
        wrapped |= advanced && shown < previous;
        previous = shown;
        return wrapped;
    }, 30000));
}

TEST_F(PreviewHandler, CommandKeysFollowTheKeyTable) {
    PreviewAndWait(ColourGif(5));
    EXPECT_FALSE(Paused());
    Key(VK_SPACE);
    EXPECT_TRUE(Paused());
    Key(VK_RIGHT);
    EXPECT_EQ(ShownFrame(), 1);
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(ShownFrame(), 4);
    Key(VK_HOME);
    EXPECT_EQ(ShownFrame(), 0);
    Key(VK_END);
    EXPECT_EQ(ShownFrame(), 4);
    SendMessageW(Preview(), WM_SYSKEYDOWN, VK_LEFT, 1); // Alt+Left: the host's (Back in Explorer), no command
    EXPECT_EQ(ShownFrame(), 4);
    Key(VK_LEFT);
    EXPECT_EQ(ShownFrame(), 3);
    Key(0x52); // R: decoded again in the background, the current frame kept under the indicator
    EXPECT_TRUE(Loading());
    EXPECT_TRUE(IsColour(Picture().At(60, 150), 255, 255, 255)); // frame 3, white, beside the indicator
    WaitUntilEveryFrameIsDecoded();
    EXPECT_EQ(ShownFrame(), 0);
    EXPECT_FALSE(Paused());
    EXPECT_EQ(FrameCount(), 5);

    const LRESULT before = ShownFrame();
    Key(VK_UP); // not a command: DefWindowProc
    Key(VK_DOWN);
    EXPECT_EQ(ShownFrame(), before);
    MSG up = KeyMessage(Preview(), WM_KEYDOWN, VK_UP);
    EXPECT_EQ(handler->TranslateAccelerator(&up), S_FALSE); // not the pane's, and no host frame to take it
    MSG right = KeyMessage(host.Handle(), WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(handler->TranslateAccelerator(&right), S_OK); // from elsewhere: run as a command
    EXPECT_EQ(ShownFrame(), before + 1);
    MSG other = KeyMessage(host.Handle(), WM_KEYDOWN, 'Q');
    EXPECT_EQ(handler->TranslateAccelerator(&other), S_FALSE);
}

TEST_F(PreviewHandler, DialogCodeAsksForCommandKeysOnly) {
    PreviewAndWait(ColourGif(2));
    EXPECT_EQ(SendMessageW(Preview(), WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
    MSG right = KeyMessage(Preview(), WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(SendMessageW(Preview(), WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&right)), DLGC_WANTALLKEYS);
    MSG up = KeyMessage(Preview(), WM_KEYDOWN, VK_UP);
    EXPECT_EQ(SendMessageW(Preview(), WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&up)), 0);
    MSG character = KeyMessage(Preview(), WM_CHAR, 'a');
    EXPECT_EQ(SendMessageW(Preview(), WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&character)), DLGC_WANTARROWS);
}

TEST_F(PreviewHandler, WheelStepsOneFramePerMessage) {
    PreviewAndWait(ColourGif(5));
    SendMessageW(Preview(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-3 * WHEEL_DELTA)), 0);
    EXPECT_EQ(ShownFrame(), 1); // towards the user: next
    SendMessageW(Preview(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    SendMessageW(Preview(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(ShownFrame(), 4); // away: previous, wrapping
}

TEST_F(PreviewHandler, SeekBarDragMovesThePictureWithTheThumb) {
    PreviewAndWait(ColourGif(5));
    const LPARAM start = MAKELPARAM(12, kHeight - 10);
    SendMessageW(Preview(), WM_LBUTTONDOWN, MK_LBUTTON, start);
    EXPECT_TRUE(Seeking());
    EXPECT_EQ(GetCapture(), Preview());
    SendMessageW(Preview(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(kWidth / 2, kHeight - 10));
    EXPECT_EQ(ShownFrame(), 2); // the picture follows the thumb
    EXPECT_TRUE(IsColour(Picture().At(200, 100), 255, 0, 0));      // frame 2 is blue
    SendMessageW(Preview(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(kWidth + 50, 5)); // outside the window
    SendMessageW(Preview(), WM_LBUTTONUP, 0, MAKELPARAM(kWidth + 50, 5));
    EXPECT_FALSE(Seeking());
    EXPECT_EQ(ShownFrame(), 4);
    EXPECT_NE(GetCapture(), Preview());
}

TEST_F(PreviewHandler, ContextMenuOpensAtTheCentreForTheKeyboard) {
    PreviewAndWait(ColourGif(2));
    static RECT menuRect;
    static bool menuSeen;
    menuSeen = false;
    // Runs inside the menu's modal loop: note where the menu stands, then close it.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu != nullptr && IsWindowVisible(menu)) {
            GetWindowRect(menu, &menuRect);
            menuSeen = true;
            EndMenu();
        }
    });
    SendMessageW(Preview(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Preview()), MAKELPARAM(-1, -1));
    KillTimer(nullptr, timer);
    ASSERT_TRUE(menuSeen);
    POINT centre = {kWidth / 2, kHeight / 2};
    ClientToScreen(Preview(), &centre);
    EXPECT_EQ(menuRect.left, centre.x);
    EXPECT_EQ(menuRect.top, centre.y);
}

TEST_F(PreviewHandler, DuringTheFirstLoadTheMenuOffersTheViewWithSaveAndCopyGreyed) {
    InitializeWith(ColourGif(2));
    Show(); // loading indicator on, no frame yet
    static bool menuSeen;
    static UINT save, copy, checkerboard;
    menuSeen = false;
    // Runs inside the menu's modal loop: note its items' states, then close it.
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND menuWindow = FindWindowW(L"#32768", nullptr);
        if (menuWindow == nullptr || !IsWindowVisible(menuWindow)) return;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        save = GetMenuState(menu, IDM_SAVE_FRAME, MF_BYCOMMAND);
        copy = GetMenuState(menu, IDM_COPY_FRAME, MF_BYCOMMAND);
        checkerboard = GetMenuState(menu, IDM_CHECKERBOARD, MF_BYCOMMAND);
        menuSeen = true;
        EndMenu();
    });
    SendMessageW(Preview(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Preview()), MAKELPARAM(-1, -1));
    KillTimer(nullptr, timer);
    ASSERT_TRUE(menuSeen);
    EXPECT_NE(save & MF_GRAYED, 0u);
    EXPECT_NE(copy & MF_GRAYED, 0u);
    ASSERT_NE(checkerboard, static_cast<UINT>(-1));
    EXPECT_EQ(checkerboard & MF_GRAYED, 0u);
}

TEST_F(PreviewHandler, UnloadAndPreviewAgainOnTheSameObject) {
    ThemeOverride dark(0);
    ComPtr<IPreviewHandlerVisuals> visuals;
    ASSERT_EQ(handler.As(&visuals), S_OK);
    EXPECT_EQ(visuals->SetBackgroundColor(RGB(15, 15, 15)), S_OK); // before SetWindow: stored
    PreviewAndWait(ColourGif(2));
    HWND first = Preview();
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Preview(), host.Handle()); // no window of its own, nothing drawn
    PreviewAndWait(ColourGif(3));
    EXPECT_NE(Preview(), host.Handle());
    EXPECT_EQ(FrameCount(), 3);
    EXPECT_TRUE(IsColour(Picture().At(20, 100), 15, 15, 15)); // the host colour applies again (dark theme)
}

TEST_F(PreviewHandler, BadFilesEndWithTheBackgroundAndTheNextFileStillPreviews) {
    // Cut inside an image's data: a file cut in its first image has nothing whole to show.
    const auto cutInImage = [](std::size_t image) {
        auto bytes = ColourGif(3);
        bytes.resize(ReadGifLayout(bytes.data(), bytes.size()).images.at(image).dataOffset + 3);
        return bytes;
    };
    const auto truncated = cutInImage(0);
    std::vector<std::uint8_t> random(3000);
    std::uint32_t state = 7;
    for (auto& byte : random) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    random[0] = 'G';
    random[1] = 'I';
    random[2] = 'F';
    for (const auto& bad : {std::vector<std::uint8_t>{}, random, truncated}) {
        PreviewAndWait(bad);
        EXPECT_EQ(FrameCount(), -1); // nothing to show
        EXPECT_TRUE(Showing());
        EXPECT_TRUE(FAILED(static_cast<HRESULT>(LoadResult()))); // what a host asks to tell a failure from a picture
        handler->Unload();
    }
    PreviewAndWait(cutInImage(2)); // cut in its third image: the two before it are shown, as browsers do
    EXPECT_EQ(FrameCount(), 2);
    EXPECT_EQ(LoadResult(), S_OK);
}

TEST_F(PreviewHandler, NewestOfSeveralRequestsWinsWhileAWorkerRuns) {
    PreviewAndWait(ColourGif(2));
    // The host previews one file after another without waiting.
    InitializeWith(ColourGif(120, 10, 400)); // long enough to be running while the others arrive
    ASSERT_EQ(handler->DoPreview(), S_OK);
    ASSERT_TRUE(Decoding());
    for (int frames : {3, 4, 5}) {
        InitializeWith(ColourGif(frames));
        ASSERT_EQ(handler->DoPreview(), S_OK);
    }
    ASSERT_TRUE(PumpUntil([this] { return !Decoding() && Showing() && FrameCount() == 5; }));
    PumpFor(200);
    EXPECT_EQ(FrameCount(), 5); // the big file and 3, 4 were never shown
}

TEST_F(PreviewHandler, UnloadWaitsForTheRunningWorker) {
    const LONG withHandler = ServerModuleLocks(); // each worker holds one more
    const auto big = ColourGif(150, 10, 500);
    InitializeWith(big);
    Show();
    ASSERT_EQ(handler->DoPreview(), S_OK);
    EXPECT_TRUE(Decoding());
    EXPECT_GT(ServerModuleLocks(), withHandler);
    HWND child = Preview();
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_EQ(ServerModuleLocks(), withHandler); // the worker has ended
    EXPECT_FALSE(IsWindow(child));
}

// The preview's frame budget, set in megabytes under Quivane's own key of the
// current user for the span of a test.
class FrameBudgetOverride {
public:
    explicit FrameBudgetOverride(DWORD megabytes) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"FrameBudgetMB", REG_DWORD, &megabytes, sizeof(megabytes)),
                  ERROR_SUCCESS);
    }
    ~FrameBudgetOverride() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"FrameBudgetMB");
        RegDeleteKeyW(HKEY_CURRENT_USER, kKey); // only when nothing else is left in it
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Quivane";
};

TEST_F(PreviewHandler, OverItsBudgetAPreviewKeepsDecodingUntilSupersededOrUnloaded) {
    FrameBudgetOverride budget(1); // 1 MB: 40 frames of 200 x 200 need 6.4 MB
    const LONG withHandler = ServerModuleLocks();
    PreviewAndFirstFrame(ColourGif(40, kFrozen, 200));
    EXPECT_TRUE(Decoding()); // the worker stays to decode ahead of playback
    Key(VK_SPACE);
    Key(VK_END); // far outside the frames kept: composed again from a checkpoint
    ASSERT_TRUE(PumpUntil([this] { return ShownFrame() == 39; }));
    EXPECT_TRUE(PumpUntil([this] { return IsColour(Picture().At(200, 100), 255, 255, 255); })); // frame 39: white

    // A newer file supersedes the partial decode at once.
    PreviewAndFirstFrame(ColourGif(2, kFrozen, 40));
    EXPECT_EQ(FrameCount(), 2);
    EXPECT_TRUE(PumpUntil([this] { return !Decoding(); }));

    PreviewAndFirstFrame(ColourGif(40, kFrozen, 200));
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_EQ(ServerModuleLocks(), withHandler); // the partial decode ended with the unload
}

TEST_F(PreviewHandler, ReleaseWithoutUnloadTakesTheWindowAlong) {
    PreviewAndWait(ColourGif(2));
    HWND child = Preview();
    ASSERT_TRUE(IsWindow(child));
    handler.Reset();
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(PreviewHandler, AFileOfNoKnownFormatFailsAndGivesItsStreamBack) {
    const auto stream = StreamFromBytes({'n', 'o', 't', 'e', 's'});
    const auto references = [&] {
        stream->AddRef();
        return stream->Release();
    };
    const ULONG before = references();
    ComPtr<IInitializeWithStream> init;
    ASSERT_EQ(handler.As(&init), S_OK);
    ASSERT_EQ(init->Initialize(stream.Get(), STGM_READ), S_OK);
    Show();
    ASSERT_EQ(handler->DoPreview(), S_OK);
    ASSERT_TRUE(PumpUntil([this] { return Showing() && !Decoding(); }));
    EXPECT_EQ(FrameCount(), -1);
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(LoadResult())));
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_EQ(references(), before);
}

// (How small the kept frames are is the frame store's own check.)
TEST_F(PreviewHandler, FramesOfAHugeCanvasAreKeptReducedButSavedWhole) {
    // More pixels than a kept frame may have, with a red square far from the origin.
    const auto bytes = GifBuilder(4200, 4200, {{0, 0, 0}, {255, 0, 0}})
                           .AddFrame(SolidFrame(4000, 10, 2, 2, 1))
                           .AddFrame(SolidFrame(0, 0, 1, 1, 1))
                           .Build();
    PreviewAndWait(bytes);
    EXPECT_EQ(FrameCount(), 2);
    Key(VK_SPACE); // paused on frame 0, the frame copied
    Key(VK_HOME);
    ASSERT_EQ(ShownFrame(), 0);

    const Pixels pixels = CopiedFrame(); // what saving and copying get
    ASSERT_EQ(pixels.width, 4200u);
    ASSERT_EQ(pixels.height, 4200u);
    EXPECT_EQ(pixels.At(4001, 11)[2], 255);
    EXPECT_EQ(pixels.At(4001, 11)[3], 255);
    EXPECT_EQ(pixels.At(3999, 11)[3], 0);
}

// A file none of whose images decodes a pixel is a failure the host can tell
// from a transparent picture; damage after the first frame keeps what decoded.
TEST_F(PreviewHandler, AFileFromWhichNothingDecodesEndsInTheFailureState) {
    std::vector<std::vector<std::uint8_t>> damaged;
    for (const NamedGif& gif : GifsWithNothingToShow()) damaged.push_back(gif.bytes);
    damaged.push_back(ApngBuilder(64, 64).Frame(DamagedImageData()).Build());
    for (const auto& bytes : damaged) {
        PreviewAndWait(bytes);
        EXPECT_EQ(FrameCount(), -1);
        EXPECT_EQ(static_cast<HRESULT>(LoadResult()), WINCODEC_ERR_BADIMAGE);
        handler->Unload();
    }
    PreviewAndWait(ApngBuilder(64, 64).Frame(SolidImageData(64, 64, {255, 0, 0, 255})).Frame(DamagedImageData()).Build());
    EXPECT_NE(FrameCount(), -1);
    EXPECT_EQ(LoadResult(), S_OK);
    EXPECT_TRUE(IsColour(Picture().At(kWidth / 2, kHeight / 2), 0, 0, 255));
}

TEST_F(PreviewHandler, AStillPictureLongerThanAnyCanvasIsShownReducedAndSavedWhole) {
    for (const auto& [bytes, width, height] :
         {std::tuple{LongPng(20000, 64), 20000u, 64u}, std::tuple{LongGif(64, 20000), 64u, 20000u}}) {
        PreviewAndWait(bytes);
        EXPECT_EQ(FrameCount(), 1);
        EXPECT_EQ(LoadResult(), S_OK);

        const Pixels pixels = CopiedFrame(); // what saving and copying get
        ASSERT_EQ(pixels.width, width);
        ASSERT_EQ(pixels.height, height);
        EXPECT_TRUE(ShowsTheQuarters(pixels.bytes.data(), width, height));
        ASSERT_EQ(handler->Unload(), S_OK);
    }
}

// A host may let go with Release at any moment, with or without Unload: the
// window goes, every worker ends, and nothing of the handler is touched again.
namespace {

std::wstring WriteTempFile(const wchar_t* name, const std::vector<std::uint8_t>& bytes) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                                          &written, nullptr));
    CloseHandle(file);
    return path;
}

// 60 frames on a large canvas: a whole first frame, then small patches. (The
// fault was first seen with 2500 x 2500; the size only sets how long a load runs.)
const std::vector<std::uint8_t>& BigAnimation() {
    static const std::vector<std::uint8_t> bytes = [] {
        GifBuilder gif(1200, 1200, kPalette);
        gif.AddFrame(SolidFrame(0, 0, 1200, 1200, 1));
        for (int i = 1; i < 60; ++i) {
            const auto at = static_cast<std::uint16_t>(i * 19);
            gif.AddFrame(SolidFrame(at, at, 32, 32, static_cast<std::uint8_t>(1 + i % 4)));
        }
        return gif.Build();
    }();
    return bytes;
}

bool PaintPending(HWND window) {
    RECT dirty = {};
    return GetUpdateRect(window, &dirty, FALSE) != FALSE;
}

// Waits, serving nothing, until a tick of a timer is due on this thread.
bool TickDue() {
    const ULONGLONG end = GetTickCount64() + 10000;
    while (GetTickCount64() < end) {
        if (HIWORD(GetQueueStatus(QS_TIMER)) & QS_TIMER) return true;
        Sleep(1);
    }
    return false;
}

} // namespace

TEST_F(PreviewHandler, ReleaseWithoutUnloadMidLoadWithAPaintPending) {
    FrameBudgetOverride budget(1); // over its budget the worker stays, decoding ahead of playback
    const std::wstring path = WriteTempFile(L"quivane_release.gif", BigAnimation());
    const LONG locksBefore = ServerModuleLocks();
    for (int round = 0; round < 3; ++round) {
        ComPtr<IPreviewHandler> target;
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&target)), S_OK);
        {
            ComPtr<IInitializeWithFile> init;
            ASSERT_EQ(target.As(&init), S_OK);
            ASSERT_EQ(init->Initialize(path.c_str(), STGM_READ), S_OK);
        }
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(target->SetWindow(host.Handle(), &rect), S_OK);
        ASSERT_EQ(target->DoPreview(), S_OK);
        HWND child = PreviewWindowOf(target.Get());
        ASSERT_TRUE(PumpUntil([&] { return AskPreviewState(child, 0) == kPreviewStateShowing; }));
        ASSERT_EQ(AskPreviewState(child, kPreviewStateDecoding), 1); // the moment: frames still being decoded
        InvalidateRect(child, nullptr, FALSE); // as an overlapping window or a resize does
        ASSERT_TRUE(PaintPending(child));
        target.Reset();
        EXPECT_FALSE(IsWindow(child));
        host.PumpMessages();
    }
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore; })); // every worker ended
    DeleteFileW(path.c_str());
}

TEST_F(PreviewHandler, ReleaseMidPlaybackWithTicksAndPaintsPendingWithOrWithoutUnload) {
    FrameBudgetOverride budget(1); // over its budget the worker stays, decoding ahead of playback
    for (const bool unloadFirst : {false, true}) {
        PreviewAndFirstFrame(ColourGif(40, 2, 200));
        ASSERT_TRUE(PumpUntil([this] { return ShownFrame() >= 2; })); // playing
        HWND child = Preview();
        ASSERT_TRUE(Decoding());
        InvalidateRect(child, nullptr, FALSE);
        ASSERT_TRUE(TickDue());
        ASSERT_TRUE(PaintPending(child));
        if (unloadFirst) {
            ASSERT_EQ(handler->Unload(), S_OK);
        }
        handler.Reset();
        EXPECT_FALSE(IsWindow(child));
        host.PumpMessages();
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    }
}

TEST_F(PreviewHandler, ReleaseAfterTheHostDestroyedItsWindow) {
    FrameBudgetOverride budget(1);
    for (const bool unloadFirst : {false, true}) {
        auto owner = std::make_unique<TestWindow>(kWidth, kHeight);
        InitializeWith(BigAnimation());
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(handler->SetWindow(owner->Handle(), &rect), S_OK);
        ASSERT_EQ(handler->DoPreview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] { return Showing(); }));
        HWND child = Preview();
        InvalidateRect(child, nullptr, FALSE);
        owner.reset(); // takes the preview window along, mid-load
        EXPECT_FALSE(IsWindow(child));
        EXPECT_NE(Preview(), child); // forgotten, not drawn into
        EXPECT_FALSE(IsWindow(Preview()));
        if (unloadFirst) {
            ASSERT_EQ(handler->Unload(), S_OK);
        }
        handler.Reset();
        host.PumpMessages();
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    }
    PreviewAndWait(ColourGif(3)); // a fresh handler in the shared window still previews
    EXPECT_EQ(FrameCount(), 3);
}

// The host behaves as real hosts do: a frame site that takes its own
// accelerators, focus moved in and out, the pane re-docked, the object reused
// for other files and items that are no files, its look and the system's
// settings changed while the pane shows.
namespace {

bool HasColour(const Pixels& pixels, int b, int g, int r) {
    for (UINT y = 0; y < pixels.height; ++y) {
        for (UINT x = 0; x < pixels.width; ++x) {
            if (IsColour(pixels.At(x, y), b, g, r)) return true;
        }
    }
    return false;
}

// How many rows hold a pixel other than the one at the top left (the background).
int RowsWithMoreThanTheBackground(const Pixels& pixels) {
    int rows = 0;
    for (UINT y = 0; y < pixels.height; ++y) {
        for (UINT x = 0; x < pixels.width; ++x) {
            if (std::memcmp(pixels.At(x, y), pixels.At(0, 0), 3) != 0) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

} // namespace

TEST_F(PreviewHandler, KeysThePaneDoesNotUseGoToTheHostsFrameOnceWithItsAnswer) {
    const ComPtr<RecordingFrame> frame = RecordingFrame::Make();
    frame->takes = {VK_F5};
    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(handler.As(&site), S_OK);
    ASSERT_EQ(site->SetSite(frame.Get()), S_OK);
    PreviewAndWait(ColourGif(5));
    ASSERT_EQ(handler->SetFocus(), S_OK);
    HWND focus = nullptr;
    ASSERT_EQ(handler->QueryFocus(&focus), S_OK);
    EXPECT_EQ(focus, Preview());
    Key(VK_SPACE);
    ASSERT_EQ(ShownFrame(), 0);

    const struct {
        int held; // 0: none
        UINT message;
        WPARAM key;
        HRESULT answer;
    } hostKeys[] = {
        {0, WM_KEYDOWN, VK_TAB, S_FALSE}, // focus leaves the pane
        {VK_SHIFT, WM_KEYDOWN, VK_TAB, S_FALSE},
        {VK_CONTROL, WM_KEYDOWN, VK_RIGHT, S_FALSE}, // a chord of a key the pane uses alone
        {VK_CONTROL, WM_KEYDOWN, 'W', S_FALSE},
        {VK_MENU, WM_SYSKEYDOWN, VK_LEFT, S_FALSE}, // Back in Explorer
        {0, WM_KEYDOWN, VK_F6, S_FALSE},
        {0, WM_KEYDOWN, VK_UP, S_FALSE},
        {0, WM_KEYDOWN, VK_F5, S_OK}, // the host's accelerator: never dispatched to the pane
    };
    for (const auto& c : hostKeys) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " held " << c.held);
        frame->received.clear();
        {
            const HeldKeys held({c.held});
            EXPECT_EQ(HostPressesKey(handler.Get(), Preview(), c.message, c.key), c.answer);
        }
        ASSERT_EQ(frame->received.size(), 1u); // once, through TranslateAccelerator or the window
        EXPECT_EQ(frame->received[0].hwnd, Preview());
        EXPECT_EQ(frame->received[0].message, c.message);
        EXPECT_EQ(frame->received[0].wParam, c.key);
        EXPECT_EQ(ShownFrame(), 0);
    }

    frame->received.clear();
    EXPECT_EQ(HostPressesKey(handler.Get(), Preview(), WM_KEYDOWN, VK_RIGHT), S_FALSE); // the pane's: dispatched to it
    EXPECT_EQ(ShownFrame(), 1);
    EXPECT_TRUE(frame->received.empty());
    SendMessageW(Preview(), WM_KEYDOWN, VK_TAB, 1); // straight to the window, no host pump
    EXPECT_EQ(frame->received.size(), 1u);
    MSG right = KeyMessage(host.Handle(), WM_KEYDOWN, VK_RIGHT); // pressed elsewhere in the host
    EXPECT_EQ(handler->TranslateAccelerator(&right), S_OK);
    EXPECT_EQ(ShownFrame(), 2);
    MSG refresh = KeyMessage(host.Handle(), WM_KEYDOWN, VK_F5);
    EXPECT_EQ(handler->TranslateAccelerator(&refresh), S_OK);
    EXPECT_EQ(frame->received.size(), 2u);

    ::SetFocus(host.Handle());
    ASSERT_EQ(handler->QueryFocus(&focus), S_OK);
    EXPECT_EQ(focus, host.Handle());
    ASSERT_EQ(site->SetSite(nullptr), S_OK);
}

TEST_F(PreviewHandler, ANewParentTakesThePaneAlongAndTheSameParentOnlyMovesIt) {
    PreviewAndWait(ColourGif(3));
    HWND pane = Preview();
    {
        TestWindow second(kWidth, kHeight, kWidth + 20, 0);
        const RECT area = {10, 20, 210, 170};
        ASSERT_EQ(handler->SetWindow(second.Handle(), &area), S_OK);
        EXPECT_EQ(Preview(), pane);
        EXPECT_EQ(GetParent(pane), second.Handle());
        EXPECT_TRUE(SameRect(PlaceInParent(pane), area));
        EXPECT_TRUE(Showing());
        EXPECT_FALSE(Decoding()); // what it showed goes along, not loaded again
        EXPECT_EQ(FrameCount(), 3);
        const Pixels moved = Picture();
        EXPECT_EQ(moved.width, 200u);
        EXPECT_TRUE(IsColour(moved.At(100, 75), 0, 0, 255));

        const RECT smaller = {0, 0, 100, 80};
        ASSERT_EQ(handler->SetWindow(second.Handle(), &smaller), S_OK);
        EXPECT_EQ(Preview(), pane);
        EXPECT_TRUE(SameRect(PlaceInParent(pane), smaller));
        const RECT whole = {0, 0, kWidth, kHeight};
        ASSERT_EQ(handler->SetWindow(host.Handle(), &whole), S_OK);
    }
    EXPECT_TRUE(IsWindow(pane)); // the second parent went without it
    EXPECT_EQ(GetParent(pane), host.Handle());
    EXPECT_EQ(FrameCount(), 3);
}

TEST_F(PreviewHandler, AfterUnloadTheSameObjectShowsAnotherFileThroughEachInitializeInterface) {
    const auto first = ColourGif(3);                  // red at first
    const auto second = ColourGif(5, kFrozen, 40, 2); // green at first
    const std::wstring paths[] = {WriteTempFile(L"quivane_reuse_1.gif", first),
                                  WriteTempFile(L"quivane_reuse_2.gif", second)};
    enum Way { kStream, kFile, kFileItem, kItemWithoutPath };
    for (const Way way : {kStream, kFile, kFileItem, kItemWithoutPath}) {
        SCOPED_TRACE(testing::Message() << "way " << way);
        std::vector<ComPtr<TestShellItem>> items;
        const auto initialize = [&](int which) {
            const auto& bytes = which == 0 ? first : second;
            if (way == kStream) return InitializeWith(bytes);
            if (way == kFile) {
                ComPtr<IInitializeWithFile> init;
                ASSERT_EQ(handler.As(&init), S_OK);
                ASSERT_EQ(init->Initialize(paths[which].c_str(), STGM_READ), S_OK);
                return;
            }
            items.push_back(TestShellItem::Make(bytes, L"moving.gif", way == kFileItem ? paths[which] : L""));
            ComPtr<IInitializeWithItem> init;
            ASSERT_EQ(handler.As(&init), S_OK);
            ASSERT_EQ(init->Initialize(items.back().Get(), STGM_READ), S_OK);
        };
        initialize(0);
        Show();
        ASSERT_EQ(handler->DoPreview(), S_OK);
        WaitUntilEveryFrameIsDecoded();
        EXPECT_EQ(FrameCount(), 3);
        ASSERT_EQ(handler->Unload(), S_OK);

        initialize(1); // the same object, its window given before
        ASSERT_EQ(handler->DoPreview(), S_OK);
        WaitUntilEveryFrameIsDecoded();
        EXPECT_EQ(FrameCount(), 5);
        EXPECT_TRUE(IsColour(Picture().At(200, 100), 0, 255, 0));
        for (const auto& item : items) EXPECT_EQ(item->streamsGiven, way == kItemWithoutPath ? 1 : 0);
        ASSERT_EQ(handler->Unload(), S_OK);
    }
    for (const auto& path : paths) DeleteFileW(path.c_str());
}

TEST_F(PreviewHandler, TheHostsColoursAndFontRepaintAPaneThatShows) {
    ThemeOverride dark(0);
    const char notes[] = "These are plain words, in no picture's format.";
    PreviewAndWait(std::vector<std::uint8_t>(notes, notes + sizeof(notes))); // the pane says why in words
    ComPtr<IPreviewHandlerVisuals> visuals;
    ASSERT_EQ(handler.As(&visuals), S_OK);
    const int rows = RowsWithMoreThanTheBackground(Picture());
    ASSERT_GT(rows, 0);

    ASSERT_EQ(visuals->SetBackgroundColor(RGB(60, 20, 20)), S_OK);
    EXPECT_TRUE(IsColour(Picture().At(2, 2), 20, 20, 60));
    ASSERT_EQ(visuals->SetTextColor(RGB(255, 255, 0)), S_OK);
    EXPECT_TRUE(HasColour(Picture(), 0, 255, 255));
    LOGFONTW large = {};
    large.lfHeight = -40;
    wcscpy(large.lfFaceName, L"Tahoma");
    ASSERT_EQ(visuals->SetFont(&large), S_OK);
    EXPECT_GT(RowsWithMoreThanTheBackground(Picture()), 2 * rows);
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(LoadResult()))); // the same failure, not loaded again
    EXPECT_FALSE(Decoding());
}

TEST_F(PreviewHandler, AThemeSwitchAndANewScaleRedrawWithoutLoadingAgain) {
    ThemeOverride dark(0);
    PreviewAndWait(ColourGif(2));
    Key(VK_RIGHT);
    ASSERT_LT(Picture().At(20, 100)[1], 128); // the dark theme's background beside the frame
    {
        ThemeOverride light(1);
        SendMessageW(Preview(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
        EXPECT_GT(Picture().At(20, 100)[1], 128);
        SendMessageW(Preview(), 0x02E3, 0, 0); // WM_DPICHANGED_AFTERPARENT: the host moved to another display
        EXPECT_TRUE(IsColour(Picture().At(200, 100), 0, 255, 0));
        EXPECT_TRUE(Showing());
        EXPECT_FALSE(Decoding());
        EXPECT_EQ(ShownFrame(), 1);
    }
}

// (How long the window's thread waits meanwhile is a benchmark: resize_bench.)
TEST_F(PreviewHandler, ManyNewRectsInARowEndAtTheLast) {
    PreviewAndWait(ColourGif(3));
    RECT last = {};
    for (int i = 0; i < 100; ++i) {
        last = RECT{i % 7, i % 5, 150 + 2 * i, 100 + i};
        ASSERT_EQ(handler->SetRect(&last), S_OK);
        if (i % 4 == 0) host.PumpMessages(); // a host dragging its splitter serves its queue between moves
    }
    host.PumpMessages();
    EXPECT_TRUE(SameRect(PlaceInParent(Preview()), last));
    const Pixels picture = Picture();
    EXPECT_EQ(picture.width, static_cast<UINT>(last.right - last.left));
    EXPECT_EQ(picture.height, static_cast<UINT>(last.bottom - last.top));
    EXPECT_TRUE(IsColour(picture.At(picture.width / 2, picture.height / 2), 0, 0, 255));
}

// Last of all: under Wine, once Direct2D has drawn straight into a host's
// top-level window, a later SetParent of a pane that draws with Direct2D can
// wait for ever inside the platform's GL window handling.
TEST_F(PreviewHandler, WithoutItsOwnWindowAFinishedLoadStillArrives) {
    // Refuse the child window the way a failing CreateWindowEx would.
    static HHOOK hook;
    hook = SetWindowsHookExW(
        WH_CBT,
        [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (code == HCBT_CREATEWND) {
                const CBT_CREATEWNDW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
                if ((create->lpcs->style & WS_CHILD) && create->lpcs->hwndParent != HWND_MESSAGE) return 1;
            }
            return CallNextHookEx(hook, code, wParam, lParam);
        },
        nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    InitializeWith(ColourGif(3));
    Show();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(Preview(), host.Handle()); // drawing falls back to the host's window
    HWND window = nullptr;
    ComPtr<IOleWindow> oleWindow;
    ASSERT_EQ(handler.As(&oleWindow), S_OK);
    EXPECT_EQ(oleWindow->GetWindow(&window), S_OK);
    EXPECT_EQ(window, host.Handle());
    // The host's window does not answer the state message: the message-only
    // window that takes the load notices does.
    HWND notices = FindWindowExW(HWND_MESSAGE, nullptr, kPreviewWindowClass, nullptr);
    ASSERT_NE(notices, nullptr);
    ASSERT_EQ(handler->DoPreview(), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return AskPreviewState(notices, 0) == kPreviewStateShowing; }));
    EXPECT_EQ(AskPreviewState(notices, kPreviewStateFrameCount), 3);
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_FALSE(IsWindow(notices));
    EXPECT_TRUE(IsWindow(host.Handle())); // the host's window is only forgotten
}
