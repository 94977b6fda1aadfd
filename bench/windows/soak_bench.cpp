// Many preview and thumbnail cycles in one process, through Quivane.dll's
// class objects as the shell would make them, over files of every type and
// files that fail; the process's handles, GDI and USER objects (as far as the
// platform counts them), windows, committed memory and threads are printed
// after a warm-up, along the way and at the end.
//   soak_bench --cycles N FILE...
#include "platform/ServerClasses.h"
#include "platform/ComAdopt.h"

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

HRESULT Factory(REFCLSID clsid, ComPtr<IClassFactory>& factory) {
    HMODULE server = LoadLibraryW(L"Quivane.dll");
    if (server == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    const auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")));
    if (get == nullptr) return E_NOINTERFACE;
    return get(clsid, IID_PPV_ARGS(&factory));
}

struct Usage {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD windows = 0;
    SIZE_T committedBytes = 0;
    SIZE_T workingSet = 0;
    DWORD threads = 0;
};

// Kernel handles, counted by asking after every handle value in use: Wine
// answers GetProcessHandleCount with nothing.
DWORD CountHandles() {
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < (1u << 16); value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

DWORD CountWindows() {
    DWORD count = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count));
    for (HWND child = nullptr; (child = FindWindowExW(HWND_MESSAGE, child, nullptr, nullptr)) != nullptr;) {
        CountOwnWindow(child, reinterpret_cast<LPARAM>(&count));
    }
    return count;
}

Usage Measure() {
    Usage usage;
    usage.handles = CountHandles();
    usage.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    usage.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    usage.windows = CountWindows();
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    usage.committedBytes = memory.PagefileUsage;
    usage.workingSet = memory.WorkingSetSize;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++usage.threads;
    }
    CloseHandle(snapshot);
    return usage;
}

void Print(const char* when, int cycles, const Usage& usage) {
    std::printf("%-8s cycles %6d  handles %5lu  gdi %4lu  user %4lu  windows %3lu  committed_MB %7.1f  "
                "working_set_MB %7.1f  threads %3lu\n",
                when, cycles, usage.handles, usage.gdi, usage.user, usage.windows, usage.committedBytes / 1048576.0,
                usage.workingSet / 1048576.0, usage.threads);
}

void PumpUntilShown(HWND host, IPreviewHandler* handler) {
    ComPtr<IOleWindow> window;
    HWND preview = nullptr;
    if (FAILED(handler->QueryInterface(IID_PPV_ARGS(&window))) || FAILED(window->GetWindow(&preview))) return;
    const UINT state = RegisterWindowMessageW(L"QuivanePreviewState");
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    MSG message;
    while (SendMessageW(preview, state, 0, 0) == 1 && GetTickCount64() < giveUp) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(1);
    }
    (void)host;
}

ComPtr<IStream> OpenFile(const std::wstring& path) {
    ComPtr<IStream> stream;
    if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                      nullptr, &stream))) {
        Quivane::AdoptReference(stream, SHCreateMemStream(reinterpret_cast<const BYTE*>("not a picture"), 13)); // a file that fails
    }
    return stream;
}

// One preview, on `reused` or on a fresh handler, shown to its first frame and unloaded.
void PreviewCycle(IClassFactory* previews, ComPtr<IPreviewHandler>& reused, bool fresh, HWND host,
                  const std::wstring& path) {
    ComPtr<IPreviewHandler> handler = reused;
    if (fresh) previews->CreateInstance(nullptr, IID_PPV_ARGS(&handler));
    ComPtr<IInitializeWithStream> init;
    if (handler && SUCCEEDED(handler.As(&init)) && SUCCEEDED(init->Initialize(OpenFile(path).Get(), STGM_READ))) {
        RECT area = {0, 0, 320, 240};
        if (SUCCEEDED(handler->SetWindow(host, &area)) && SUCCEEDED(handler->DoPreview())) {
            PumpUntilShown(host, handler.Get());
        }
        handler->Unload();
    }
}

void ThumbnailCycle(IClassFactory* thumbnails, const std::wstring& path) {
    ComPtr<IThumbnailProvider> provider;
    if (SUCCEEDED(thumbnails->CreateInstance(nullptr, __uuidof(IThumbnailProvider),
                                             reinterpret_cast<void**>(provider.GetAddressOf())))) {
        ComPtr<IInitializeWithStream> withStream;
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        if (SUCCEEDED(provider.As(&withStream)) && SUCCEEDED(withStream->Initialize(OpenFile(path).Get(), STGM_READ)) &&
            SUCCEEDED(provider->GetThumbnail(96, &bitmap, &alpha))) {
            DeleteObject(bitmap);
        }
    }
}

// Which halves of a cycle run (--previews-only, --thumbnails-only): to tell a growth's source.
bool runPreviews = true;
bool runThumbnails = true;

void Cycle(IClassFactory* previews, IClassFactory* thumbnails, ComPtr<IPreviewHandler>& reused, bool fresh,
           HWND host, const std::wstring& path) {
    if (runPreviews) PreviewCycle(previews, reused, fresh, host, path);
    if (runThumbnails) ThumbnailCycle(thumbnails, path);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int cycles = 1000;
    std::vector<std::wstring> files;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--cycles") == 0 && i + 1 < argc) {
            cycles = _wtoi(argv[++i]);
        } else if (std::wcscmp(argv[i], L"--previews-only") == 0) {
            runThumbnails = false;
        } else if (std::wcscmp(argv[i], L"--thumbnails-only") == 0) {
            runPreviews = false;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    files.emplace_back(L"Z:\\no such file.gif"); // fails to open: the failure path too
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    ComPtr<IClassFactory> previews, thumbnails;
    if (FAILED(Factory(Quivane::CLSID_QuivanePreviewHandler, previews)) ||
        FAILED(Factory(Quivane::CLSID_QuivaneThumbnailProvider, thumbnails))) {
        std::fprintf(stderr, "error: Quivane.dll beside the program gave no class objects\n");
        return 1;
    }
    HWND host = CreateWindowExW(0, L"STATIC", L"soak", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                nullptr, nullptr, nullptr);
    ComPtr<IPreviewHandler> reused;
    previews->CreateInstance(nullptr, IID_PPV_ARGS(&reused));
    const int warmUp = static_cast<int>(files.size()) * 2;
    for (int i = 0; i < warmUp; ++i) Cycle(previews.Get(), thumbnails.Get(), reused, i % 2 == 1, host, files[i % files.size()]);
    const Usage start = Measure();
    Print("start", 0, start);
    for (int i = 0; i < cycles; ++i) {
        Cycle(previews.Get(), thumbnails.Get(), reused, i % 2 == 1, host, files[i % files.size()]);
        if ((i + 1) % (cycles / 4 > 0 ? cycles / 4 : 1) == 0 && i + 1 < cycles) Print("during", i + 1, Measure());
    }
    const Usage end = Measure();
    Print("end", cycles, end);
    std::printf("growth   handles %+ld  gdi %+ld  user %+ld  windows %+ld  committed_MB %+.1f  working_set_MB %+.1f  "
                "threads %+ld\n",
                static_cast<long>(end.handles) - static_cast<long>(start.handles),
                static_cast<long>(end.gdi) - static_cast<long>(start.gdi),
                static_cast<long>(end.user) - static_cast<long>(start.user),
                static_cast<long>(end.windows) - static_cast<long>(start.windows),
                (static_cast<double>(end.committedBytes) - static_cast<double>(start.committedBytes)) / 1048576.0,
                (static_cast<double>(end.workingSet) - static_cast<double>(start.workingSet)) / 1048576.0,
                static_cast<long>(end.threads) - static_cast<long>(start.threads));
    reused.Reset();
    DestroyWindow(host);
    CoUninitialize();
    return 0;
}
