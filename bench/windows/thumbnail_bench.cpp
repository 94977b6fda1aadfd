// Thumbnails as Explorer's thumbnail process asks for them, in process: a
// provider from Quivane.dll's class object, IInitializeWithStream on the
// file, GetThumbnail. Each run is a fresh provider over a fresh stream.
//   thumbnail_bench FILE [--size N] [--runs N]
// prints the median, fastest and slowest time of Initialize + GetThumbnail,
// and the process's peak private and working-set memory after the runs
// (with --runs 1 in a fresh process, the peak of one thumbnail).
#include "platform/ServerClasses.h"

#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shlwapi.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

HRESULT ProviderFactory(ComPtr<IClassFactory>& factory) {
    HMODULE server = LoadLibraryW(L"Quivane.dll");
    if (server == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    const auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")));
    if (get == nullptr) return E_NOINTERFACE;
    return get(Quivane::CLSID_QuivaneThumbnailProvider, IID_PPV_ARGS(&factory));
}

HRESULT OneThumbnail(IClassFactory* factory, const wchar_t* path, UINT size, SIZE& made) {
    ComPtr<IThumbnailProvider> provider;
    HRESULT hr = factory->CreateInstance(nullptr, __uuidof(IThumbnailProvider), reinterpret_cast<void**>(provider.GetAddressOf()));
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;
    hr = SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream);
    if (FAILED(hr)) return hr;
    ComPtr<IInitializeWithStream> initialize;
    if (FAILED(hr = provider.As(&initialize))) return hr;
    if (FAILED(hr = initialize->Initialize(stream.Get(), STGM_READ))) return hr;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    if (FAILED(hr = provider->GetThumbnail(size, &bitmap, &alpha))) return hr;
    BITMAP shape = {};
    GetObjectW(bitmap, sizeof(shape), &shape);
    made = SIZE{shape.bmWidth, shape.bmHeight};
    DeleteObject(bitmap);
    return S_OK;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: thumbnail_bench FILE [--size N] [--runs N]\n");
        return 2;
    }
    UINT size = 256;
    int runs = 20;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--size") == 0) size = static_cast<UINT>(_wtoi(argv[i + 1]));
        if (std::wcscmp(argv[i], L"--runs") == 0) runs = std::max(1, _wtoi(argv[i + 1]));
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComPtr<IClassFactory> factory;
    HRESULT hr = ProviderFactory(factory);
    PROCESS_MEMORY_COUNTERS before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    std::vector<double> times;
    SIZE made = {};
    for (int run = 0; run < runs && SUCCEEDED(hr); ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        hr = OneThumbnail(factory.Get(), argv[1], size, made);
        QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end));
    }
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"error: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    PROCESS_MEMORY_COUNTERS after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("size\t%ldx%ld\nruns\t%zu\nmedian_ms\t%.1f\nmin_ms\t%.1f\nmax_ms\t%.1f\n", made.cx, made.cy, n, median,
                times.front(), times.back());
    std::printf("private_before_mb\t%.1f\npeak_private_mb\t%.1f\npeak_working_set_mb\t%.1f\n",
                before.PagefileUsage / 1048576.0, after.PeakPagefileUsage / 1048576.0,
                after.PeakWorkingSetSize / 1048576.0);
    factory.Reset();
    CoUninitialize();
    return 0;
}
