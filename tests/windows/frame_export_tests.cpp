// Saving and copying the frame on screen: proposed names, the three file
// formats, the real save dialog and the real clipboard, saving over a file,
// and both commands through the preview handler.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "platform/WicImaging.h"
#include "preview/PreviewStateMessage.h"
#include "preview/FrameExport.h"
#include "preview/PreviewHandlerCom.h"
#include "frames/SharedFrameBitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

// 3x2 premultiplied BGRA: the top row red, half-transparent red, blue; the
// bottom row green, white, black.
const std::uint8_t kFramePixels[] = {0, 0, 255, 255, 0, 0, 128, 128, 255, 0, 0, 255,
                                     0, 255, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255};

ComPtr<IWICBitmap> SmallFrame() {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> bitmap;
    EXPECT_EQ(CreateImagingFactory(factory), S_OK);
    EXPECT_EQ(CreateBitmapFromPixels(factory.Get(), 3, 2, GUID_WICPixelFormat32bppPBGRA, 12, kFramePixels,
                                     sizeof(kFramePixels), bitmap),
              S_OK);
    return bitmap;
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

GUID ContainerOf(const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    GUID container = GUID_NULL;
    if (SUCCEEDED(CreateImagingFactory(factory)) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                     &decoder))) {
        decoder->GetContainerFormat(&container);
    }
    return container;
}

HWND FindDialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
                *reinterpret_cast<HWND*>(out) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What the user does in the save dialog, run from a timer inside its modal loop.
struct DialogScript {
    std::wstring typedName; // empty: press Cancel
    std::wstring proposedName;
    bool done = false;
};
DialogScript* activeScript = nullptr;

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindDialog();
    if (dialog == nullptr || activeScript == nullptr || activeScript->done) return;
    // The file name box is edt1 in one dialog style and the combo box cmb13 in the other.
    int kFileNameEdit = 0x480;
    if (GetDlgItem(dialog, kFileNameEdit) == nullptr) kFileNameEdit = 0x47c;
    wchar_t shown[MAX_PATH] = {};
    GetDlgItemTextW(dialog, kFileNameEdit, shown, MAX_PATH);
    activeScript->proposedName = shown;
    activeScript->done = true;
    if (activeScript->typedName.empty()) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
        SetDlgItemTextW(dialog, kFileNameEdit, activeScript->typedName.c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

HRESULT SaveThroughDialog(IWICBitmapSource* frame, const std::wstring& proposed, DialogScript& script) {
    TestWindow owner(200, 100);
    activeScript = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveDialog);
    const HRESULT hr = SaveFrameAs(owner.Handle(), frame, proposed);
    KillTimer(nullptr, timer);
    activeScript = nullptr;
    return hr;
}

} // namespace

TEST(FrameFileName, BaseNameOfTheSourceWithTheFrameNumber) {
    EXPECT_EQ(MakeDefaultFrameFileName(L"C:\\clips\\dance.gif", 0), L"dance_frame_001.png");
    EXPECT_EQ(MakeDefaultFrameFileName(L"C:\\clips\\dance.gif", 41), L"dance_frame_042.png");
    EXPECT_EQ(MakeDefaultFrameFileName(L"preview.webp", 9), L"preview_frame_010.png");
    EXPECT_EQ(MakeDefaultFrameFileName(L"C:\\clips\\dance.gif", 999), L"dance_frame_1000.png");
    EXPECT_EQ(MakeDefaultFrameFileName(L"", 0), L"preview_frame_001.png");
    EXPECT_EQ(MakeDefaultFrameFileName(L"archive.tar.gz", 0), L"archive.tar_frame_001.png");
    // A name part longer than 259 characters is cut first, then loses its extension.
    const std::wstring longName = std::wstring(300, L'a') + L".gif";
    EXPECT_EQ(MakeDefaultFrameFileName(L"C:\\" + longName, 0), std::wstring(259, L'a') + L"_frame_001.png");
}

TEST(CopyFrame, PutsATopDownPremultipliedDibOnTheClipboard) {
    TestWindow owner(100, 100);
    ASSERT_EQ(CopyFrameToClipboard(owner.Handle(), SmallFrame().Get()), S_OK);
    ASSERT_TRUE(OpenClipboard(owner.Handle()));
    HANDLE data = GetClipboardData(CF_DIB);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(GlobalSize(data), 40u + 24u);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(data));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof(header));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 3);
    EXPECT_EQ(header.biHeight, -2);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 0u);
    EXPECT_EQ(std::memcmp(bytes + 40, kFramePixels, sizeof(kFramePixels)), 0); // top row first, still premultiplied
    GlobalUnlock(data);
    CloseClipboard();
}

TEST(CopyFrame, FailsWithoutTouchingAClipboardAnotherProgramHolds) {
    TestWindow owner(100, 100);
    ASSERT_EQ(CopyFrameToClipboard(owner.Handle(), SmallFrame().Get()), S_OK);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        TestWindow other(50, 50);
        OpenClipboard(other.Handle());
        SetEvent(opened);
        WaitForSingleObject(release, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    const HRESULT hr = CopyFrameToClipboard(owner.Handle(), SmallFrame().Get());
    SetEvent(release);
    holder.join();
    EXPECT_TRUE(FAILED(hr)) << Hex(hr);
    ASSERT_TRUE(OpenClipboard(owner.Handle()));
    EXPECT_NE(GetClipboardData(CF_DIB), nullptr); // the earlier copy is still there
    CloseClipboard();
    CloseHandle(release);
    CloseHandle(opened);
    EXPECT_EQ(CopyFrameToClipboard(owner.Handle(), nullptr), E_POINTER);
}

TEST(WriteFrame, ExtensionChoosesTheFormat) {
    const ComPtr<IWICBitmap> frame = SmallFrame();
    struct Case {
        const wchar_t* name;
        GUID container;
    };
    const Case cases[] = {{L"quivane_a.png", GUID_ContainerFormatPng},   {L"quivane_b.jpg", GUID_ContainerFormatJpeg},
                          {L"quivane_c.JPEG", GUID_ContainerFormatJpeg}, {L"quivane_d.bmp", GUID_ContainerFormatBmp},
                          {L"quivane_e.gif", GUID_ContainerFormatPng},   {L"quivane_f", GUID_ContainerFormatPng}};
    for (const Case& c : cases) {
        const std::wstring path = TempPath(c.name);
        DeleteFileW(path.c_str());
        ASSERT_EQ(WriteFrameFile(frame.Get(), path), S_OK);
        EXPECT_TRUE(ContainerOf(path) == c.container) << std::string(c.name, c.name + wcslen(c.name));
        DeleteFileW(path.c_str());
    }
    EXPECT_EQ(WriteFrameFile(nullptr, TempPath(L"x.png")), E_POINTER);
}

TEST(WriteFrame, FilesDecodeToTheFrame) {
    const ComPtr<IWICBitmap> frame = SmallFrame();
    const std::wstring png = TempPath(L"quivane_frame.png");
    const std::wstring bmp = TempPath(L"quivane_frame.bmp");
    ASSERT_EQ(WriteFrameFile(frame.Get(), png), S_OK);
    ASSERT_EQ(WriteFrameFile(frame.Get(), bmp), S_OK);
    Pixels fromPng, fromBmp;
    ASSERT_EQ(DecodeFileAsPremultipliedBgra(png, fromPng), S_OK);
    ASSERT_EQ(DecodeFileAsPremultipliedBgra(bmp, fromBmp), S_OK);
    ASSERT_EQ(fromPng.bytes.size(), sizeof(kFramePixels));
    for (size_t i = 0; i < sizeof(kFramePixels); ++i) {
        EXPECT_NEAR(fromPng.bytes[i], kFramePixels[i], 1) << "png byte " << i;
    }
    // The translucent pixel keeps its colour: premultiplied once, not twice.
    EXPECT_NEAR(fromPng.At(1, 0)[2], 128, 1);
    // BMP holds 24 bits: opaque pixels survive exactly, alpha does not.
    EXPECT_EQ(fromBmp.width, 3u);
    EXPECT_EQ(std::memcmp(fromBmp.At(0, 0), kFramePixels, 3), 0);
    EXPECT_EQ(std::memcmp(fromBmp.At(1, 1), kFramePixels + 16, 3), 0);
    EXPECT_EQ(fromBmp.At(1, 0)[3], 255);
    // JPEG: 24 bits and lossy; the opaque white pixel stays close to white.
    const std::wstring jpeg = TempPath(L"quivane_frame.jpg");
    ASSERT_EQ(WriteFrameFile(frame.Get(), jpeg), S_OK);
    Pixels fromJpeg;
    ASSERT_EQ(DecodeFileAsPremultipliedBgra(jpeg, fromJpeg), S_OK);
    EXPECT_EQ(fromJpeg.width, 3u);
    EXPECT_EQ(fromJpeg.height, 2u);
    EXPECT_GT(fromJpeg.At(1, 1)[0], 160);
    EXPECT_GT(fromJpeg.At(1, 1)[1], 160);
    EXPECT_EQ(fromJpeg.At(1, 1)[3], 255);
    DeleteFileW(png.c_str());
    DeleteFileW(bmp.c_str());
    DeleteFileW(jpeg.c_str());
}

TEST(WriteFrame, AFrameThatCannotBeHadAtFullSizeWritesNoFileAndCopiesNothing) {
    // As a huge picture's frame the memory rules refuse: composed only when read, and then refused.
    ComPtr<IWICBitmapSource> refused;
    ASSERT_EQ(CreateComposedFrameBitmap(40000, 40000, [](FramePixels&) { return E_OUTOFMEMORY; }, &refused), S_OK);
    const std::wstring path = TempPath(L"quivane_refused.png");
    DeleteFileW(path.c_str());
    EXPECT_EQ(WriteFrameFile(refused.Get(), path), E_OUTOFMEMORY);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CopyFrameToClipboard(nullptr, refused.Get()), E_OUTOFMEMORY);
}

TEST(SaveDialog, ProposesTheNameAndWritesWhatTheUserTyped) {
    const std::wstring path = TempPath(L"quivane_dialog.bmp");
    DeleteFileW(path.c_str());
    DialogScript script;
    script.typedName = path;
    EXPECT_EQ(SaveThroughDialog(SmallFrame().Get(), L"dance_frame_001.png", script), S_OK);
    EXPECT_EQ(script.proposedName, L"dance_frame_001.png");
    EXPECT_TRUE(ContainerOf(path) == GUID_ContainerFormatBmp);
    DeleteFileW(path.c_str());
}

TEST(SaveDialog, CancelWritesNothing) {
    DialogScript script; // types nothing: Cancel
    const std::wstring proposed = L"quivane_cancelled_frame_001.png";
    EXPECT_EQ(SaveThroughDialog(SmallFrame().Get(), proposed, script), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_TRUE(script.done);
    EXPECT_EQ(GetFileAttributesW(proposed.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(SaveFrameAs(nullptr, nullptr, L"x.png"), E_POINTER);
}

// Saving over a file the user chose to replace: the pixels are prepared
// first and written beside it, so a failure at any step leaves the old file
// whole and no temporary file behind.
namespace {

std::wstring FreshFolder(const wchar_t* name) {
    const std::wstring folder = TempPath(name);
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring entry = folder + L"\\" + found.cFileName;
            SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(entry.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return folder;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

constexpr HRESULT kInjected = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
FrameFileStep failingStep = FrameFileStep::CreateTemporary;
HRESULT FailAtOneStep(FrameFileStep step) { return step == failingStep ? kInjected : S_OK; }

} // namespace

TEST(SaveOverAFile, AnyFailureLeavesTheOldFileWholeAndNoTemporaryFile) {
    const std::wstring folder = FreshFolder(L"quivane_save_over");
    const std::wstring target = folder + L"\\frame.png";
    const std::vector<std::uint8_t> old = {'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    WriteBytes(target, old);
    const std::vector<std::wstring> onlyTheTarget = {L"frame.png"};
    const auto untouched = [&](const char* when) {
        EXPECT_EQ(ReadFileBytes(target), old) << when;
        EXPECT_EQ(FilesIn(folder), onlyTheTarget) << when;
    };
    const ComPtr<IWICBitmap> frame = SmallFrame();

    // The frame cannot be made: a huge canvas's frame composed again from a file that went bad.
    ComPtr<IWICBitmapSource> unreadable;
    ASSERT_EQ(CreateComposedFrameBitmap(3, 2, [](FramePixels&) { return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT); },
                                        &unreadable),
              S_OK);
    EXPECT_EQ(WriteFrameFile(unreadable.Get(), target), HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
    untouched("preparing the pixels");

    // The temporary file cannot be made, the encoder's writes fail, the replacement fails.
    for (const FrameFileStep step : {FrameFileStep::CreateTemporary, FrameFileStep::Encode, FrameFileStep::Replace}) {
        failingStep = step;
        EXPECT_EQ(WriteFrameFile(frame.Get(), target, FailAtOneStep), kInjected);
        untouched("an injected failure");
    }

    // A target that cannot be replaced: read-only, or held open by another program that shares nothing.
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(FAILED(WriteFrameFile(frame.Get(), target)));
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL));
    untouched("a read-only target");
    HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HRESULT whileHeld = WriteFrameFile(frame.Get(), target);
    CloseHandle(held);
    EXPECT_TRUE(FAILED(whileHeld));
    untouched("a target held open");

    // Nothing failing: the frame replaces the file, and nothing else is left.
    ASSERT_EQ(WriteFrameFile(frame.Get(), target), S_OK);
    Pixels saved;
    ASSERT_EQ(DecodeFileAsPremultipliedBgra(target, saved), S_OK);
    EXPECT_EQ(saved.width, 3u);
    EXPECT_EQ(saved.height, 2u);
    EXPECT_EQ(FilesIn(folder), onlyTheTarget);
    // A new file, in a folder that does not exist: nothing is made anywhere.
    EXPECT_TRUE(FAILED(WriteFrameFile(frame.Get(), folder + L"\\missing\\frame.png")));
    EXPECT_EQ(FilesIn(folder), onlyTheTarget);
}

// Through the preview handler: the commands' pixel work runs on a worker; the
// dialog and the clipboard stay on the window's thread.
namespace {


class HandlerExport : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK); }
    void TearDown() override {
        if (handler) handler->Unload();
    }

    void Preview(const std::vector<std::uint8_t>& bytes) {
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(handler.As(&init), S_OK);
        ASSERT_EQ(init->Initialize(StreamFromBytes(bytes).Get(), STGM_READ), S_OK);
        RECT rect = {0, 0, 400, 300};
        ASSERT_EQ(handler->SetWindow(host.Handle(), &rect), S_OK);
        ASSERT_EQ(handler->DoPreview(), S_OK);
        ASSERT_TRUE(PumpUntil([this] {
            return Ask(kPreviewStateFrameCount) > 0 && Ask(0) == kPreviewStateShowing && Ask(kPreviewStateDecoding) == 0;
        }));
    }
    void Command(UINT command) { SendMessageW(PreviewWindowOf(handler.Get()), WM_COMMAND, command, 0); }
    LRESULT Ask(WPARAM question) { return AskPreviewState(PreviewWindowOf(handler.Get()), question); }
    void EmptyTheClipboard() {
        ASSERT_TRUE(OpenClipboard(host.Handle()));
        EmptyClipboard();
        CloseClipboard();
    }

    TestWindow host{400, 300};
    ComPtr<IPreviewHandler> handler;
};

// More pixels than a kept frame may have: copying composes the frame again, whole.
std::vector<std::uint8_t> HugeCanvas() {
    return GifBuilder(4200, 4200, {{0, 0, 0}, {255, 0, 0}})
        .AddFrame(SolidFrame(4000, 10, 2, 2, 1))
        .AddFrame(SolidFrame(0, 0, 1, 1, 1))
        .Build();
}

} // namespace

TEST_F(HandlerExport, CopyComposesAHugeFrameOnAWorkerAndTheWindowPutsItOnTheClipboard) {
    Preview(HugeCanvas());
    EmptyTheClipboard();
    Command(IDM_COPY_FRAME);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB)); // the window's thread came back without doing the work
    ASSERT_TRUE(PumpUntil([] { return IsClipboardFormatAvailable(CF_DIB) != FALSE; }));
    ASSERT_TRUE(OpenClipboard(host.Handle()));
    HANDLE data = GetClipboardData(CF_DIB);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(GlobalSize(data), 40u + 4200u * 4200u * 4u);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(data));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof(header));
    EXPECT_EQ(header.biWidth, 4200);
    EXPECT_EQ(header.biHeight, -4200);
    const std::uint8_t* red = bytes + 40 + (11u * 4200u + 4001u) * 4u;
    EXPECT_EQ(red[2], 255);
    EXPECT_EQ(red[3], 255);
    EXPECT_EQ(bytes[40 + (11u * 4200u + 3999u) * 4u + 3], 0);
    GlobalUnlock(data);
    EmptyClipboard();
    CloseClipboard();
}

TEST_F(HandlerExport, UnloadDuringACopyDropsIt) {
    const LONG locksBefore = ServerModuleLocks();
    Preview(HugeCanvas());
    EmptyTheClipboard();
    Command(IDM_COPY_FRAME);
    ASSERT_EQ(handler->Unload(), S_OK);
    handler.Reset();
    // The worker ends on its own, with nothing to hand its pixels to.
    ASSERT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locksBefore - 1; }));
    host.PumpMessages();
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
}

TEST_F(HandlerExport, SaveAsksOnTheWindowsThreadAndWritesOnAWorker) {
    GifBuilder gif(6, 4, {{0, 0, 0}, {0, 0, 255}});
    gif.AddFrame(SolidFrame(0, 0, 6, 4, 1));
    Preview(gif.Build());
    const std::wstring path = TempPath(L"quivane_handler_save.png");
    DeleteFileW(path.c_str());
    DialogScript script;
    script.typedName = path;
    activeScript = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveDialog);
    Command(IDM_SAVE_FRAME); // returns once the dialog closes
    KillTimer(nullptr, timer);
    activeScript = nullptr;
    EXPECT_EQ(script.proposedName, L"preview_frame_001.png");
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    Pixels saved;
    ASSERT_EQ(DecodeFileAsPremultipliedBgra(path, saved), S_OK);
    EXPECT_EQ(saved.width, 6u);
    EXPECT_EQ(saved.height, 4u);
    EXPECT_EQ(saved.At(3, 2)[0], 255); // blue
    DeleteFileW(path.c_str());
}
