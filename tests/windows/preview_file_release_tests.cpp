// What a preview keeps of the files it shows, driven as a host drives it:
// nothing once it lets a file go (the file then opens exclusively, so a
// stick can be ejected and a folder removed), a file that can be renamed and
// deleted while it shows, and preview cycles that leave the process's
// handles and private memory where they were.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "thumbnail/ThumbnailProviderCom.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr int kWidth = 320;
// A file held by a leaked reference stays open for the life of the process;
// one let go is free within moments, however busy the machine.
constexpr DWORD kLetGoWithinMs = 20000;
constexpr int kHeight = 240;

// A GIF of `frames` frames of `size` x `size`, each a solid colour.
std::vector<std::uint8_t> ColourGif(int frames, std::uint16_t size) {
    GifBuilder gif(size, size, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}});
    for (int i = 0; i < frames; ++i) {
        GifFrameSpec frame = SolidFrame(0, 0, size, size, static_cast<std::uint8_t>(1 + i % 3));
        frame.delayHundredths = 65535; // still for the length of any test
        gif.AddFrame(frame);
    }
    return gif.Build();
}

std::wstring WriteTempFile(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(file != INVALID_HANDLE_VALUE &&
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
    return path;
}

// As a program that wants the file to itself opens it: no sharing at all.
bool OpensExclusively(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

HRESULT InitializeWithFile(IPreviewHandler* handler, const std::wstring& path) {
    ComPtr<IInitializeWithFile> init;
    const HRESULT hr = handler->QueryInterface(IID_PPV_ARGS(&init));
    return FAILED(hr) ? hr : init->Initialize(path.c_str(), STGM_READ);
}

TestWindow& SharedHost() {
    static TestWindow* shared = new TestWindow(kWidth, kHeight);
    return *shared;
}

// The whole of a host's cycle: the file by its path, the pane in the host's
// window, and the load waited for, as shown (or as failed).
void PreviewUntilLoaded(IPreviewHandler* handler, const std::wstring& path) {
    ASSERT_EQ(InitializeWithFile(handler, path), S_OK);
    const RECT rect = {0, 0, kWidth, kHeight};
    ASSERT_EQ(handler->SetWindow(SharedHost().Handle(), &rect), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
    HWND pane = PreviewWindowOf(handler);
    ASSERT_TRUE(PumpUntil([&] {
        return AskPreviewState(pane, 0) == kPreviewStateShowing && AskPreviewState(pane, kPreviewStateDecoding) == 0;
    })) << DescribePreviewState(pane);
    EXPECT_EQ(AskPreviewState(pane, kPreviewStateLoadResult), S_OK);
}

struct ProcessFigures {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
};

// The handles this process has open. The platform's own count is not kept
// everywhere (Wine answers 0), so each handle value is asked about; they are
// small multiples of four, handed out lowest first.
DWORD CountOpenHandles() {
    DWORD open = 0;
    for (std::uintptr_t value = 4; value < (1u << 18); value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

ProcessFigures Measure() {
    ProcessFigures figures;
    figures.handles = CountOpenHandles();
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    EXPECT_TRUE(K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                        sizeof(memory)));
    figures.privateBytes = memory.PrivateUsage;
    // Where the platform keeps no such count (Wine), the address space the
    // process has taken stands in: it grows with every block the heap takes.
    if (figures.privateBytes == 0) {
        MEMORYSTATUSEX status = {};
        status.dwLength = sizeof(status);
        EXPECT_TRUE(GlobalMemoryStatusEx(&status));
        figures.privateBytes = static_cast<SIZE_T>(status.ullTotalVirtual - status.ullAvailVirtual);
    }
    EXPECT_GT(figures.handles, 0u);
    EXPECT_GT(figures.privateBytes, 0u);
    return figures;
}

// What cycles may leave behind: a few handles the platform opens once and
// keeps (caches, worker threads), and some heap the allocator keeps. A leak
// of one handle, or of one frame (a megabyte here), per cycle is far more.
constexpr DWORD kHandleBound = 24;
constexpr SIZE_T kPrivateBytesBound = 24u << 20;

void ExpectAtBaseline(const ProcessFigures& baseline, const char* cycles) {
    const ProcessFigures now = Measure();
    std::printf("note: %s: handles %lu -> %lu, private bytes %.1f MB -> %.1f MB\n", cycles,
                static_cast<unsigned long>(baseline.handles), static_cast<unsigned long>(now.handles),
                baseline.privateBytes / 1048576.0, now.privateBytes / 1048576.0);
    EXPECT_LE(now.handles, baseline.handles + kHandleBound) << cycles;
    EXPECT_LE(now.privateBytes, baseline.privateBytes + kPrivateBytesBound) << cycles;
}

} // namespace

TEST(PreviewByPath, AfterUnloadTheFileOpensExclusively) {
    const struct {
        const wchar_t* name;
        std::vector<std::uint8_t> bytes;
    } files[] = {{L"quivane_release.gif", ColourGif(3, 64)}, {L"quivane_release.wmv", VideoFixture("pattern.wmv")}};
    for (const auto& file : files) {
        SCOPED_TRACE(std::string(file.name, file.name + wcslen(file.name)));
        const std::wstring path = WriteTempFile(file.name, file.bytes);
        ComPtr<IPreviewHandler> handler;
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
        PreviewUntilLoaded(handler.Get(), path);
        EXPECT_FALSE(OpensExclusively(path)); // shown: the preview reads it
        ASSERT_EQ(handler->Unload(), S_OK);
        // The same object has let go of the file (the platform's media
        // pipeline lets go of its last reference on a thread of its own).
        EXPECT_TRUE(PumpUntil([&] { return OpensExclusively(path); }, kLetGoWithinMs));
        // Initialized and never shown, then released without Unload: let go all the same.
        ASSERT_EQ(InitializeWithFile(handler.Get(), path), S_OK);
        handler.Reset();
        EXPECT_TRUE(PumpUntil([&] { return OpensExclusively(path); }, kLetGoWithinMs));
        EXPECT_TRUE(DeleteFileW(path.c_str()));
    }
}

TEST(PreviewByPath, WhileShownTheFileCanBeRenamedAndDeleted) {
    const std::wstring path = WriteTempFile(L"quivane_shown.gif", ColourGif(3, 64));
    const std::wstring renamed = path + L".renamed";
    DeleteFileW(renamed.c_str());
    ComPtr<IPreviewHandler> handler;
    ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
    PreviewUntilLoaded(handler.Get(), path);
    EXPECT_TRUE(MoveFileW(path.c_str(), renamed.c_str())) << GetLastError();
    EXPECT_TRUE(DeleteFileW(renamed.c_str())) << GetLastError();
    ASSERT_EQ(handler->Unload(), S_OK);
    EXPECT_EQ(GetFileAttributesW(renamed.c_str()), INVALID_FILE_ATTRIBUTES); // gone once let go
}

// Many cheap cycles (a file taken and let go, a thumbnail made, with no pane)
// and a few whole ones (a pane drawn in the host's window), on one object and
// on fresh ones: the process's handles and private bytes stay at their baseline.
TEST(PreviewByPath, CyclesLeaveHandlesAndMemoryAtTheirBaseline) {
    const std::wstring path = WriteTempFile(L"quivane_cycles.gif", ColourGif(3, 512)); // a megabyte a frame
    const auto bytes = ColourGif(3, 512);
    ComPtr<IPreviewHandler> kept;
    ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&kept)), S_OK);
    const auto wholeCycle = [&](int cycle) {
        ComPtr<IPreviewHandler> handler = kept;
        if (cycle % 2 == 1) {
            ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
        }
        PreviewUntilLoaded(handler.Get(), path);
        ASSERT_EQ(handler->Unload(), S_OK);
    };
    const auto cheapCycle = [&](int cycle) {
        ComPtr<IPreviewHandler> handler = kept;
        if (cycle % 2 == 1) {
            ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
        }
        ASSERT_EQ(InitializeWithFile(handler.Get(), path), S_OK);
        ASSERT_EQ(handler->Unload(), S_OK);
        HBITMAP bitmap = nullptr;
        ASSERT_EQ(MakeThumbnailWithin(StreamFromBytes(bytes).Get(), 96, &bitmap, kThumbnailPatienceMs), S_OK);
        DeleteObject(bitmap);
    };
    // What the platform opens once and keeps comes before the baseline.
    for (int cycle = 0; cycle < 4; ++cycle) wholeCycle(cycle);
    for (int cycle = 0; cycle < 10; ++cycle) cheapCycle(cycle);
    const LONG locks = ServerModuleLocks();
    const ProcessFigures baseline = Measure();
    for (int cycle = 0; cycle < 200; ++cycle) cheapCycle(cycle);
    ExpectAtBaseline(baseline, "200 cheap cycles");
    for (int cycle = 0; cycle < 12; ++cycle) wholeCycle(cycle);
    ExpectAtBaseline(baseline, "and 12 whole ones");
    EXPECT_TRUE(PumpUntil([&] { return ServerModuleLocks() == locks; })); // no worker left running
    EXPECT_TRUE(PumpUntil([&] { return OpensExclusively(path); }, kLetGoWithinMs));
    DeleteFileW(path.c_str());
}
