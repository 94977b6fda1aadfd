#include "ThumbnailCommand.h"

#include "ImageFiles.h"
#include "ServerActivation.h"
#include "com/ServerClasses.h"

#include <windows.h>
#include <propsys.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include <cstdio>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

namespace {

struct Options {
    std::wstring file;
    UINT size = 256;
    std::wstring out = L"thumbnail.png";
    bool time = false;
};

bool ParseOptions(const std::vector<std::wstring>& args, Options& options) {
    if (args.size() < 2) return false;
    options.file = args[1];
    for (size_t i = 2; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == L"--size" && hasValue) {
            const long size = std::wcstol(args[++i].c_str(), nullptr, 10);
            if (size <= 0 || size > 32768) return false;
            options.size = static_cast<UINT>(size);
        } else if (args[i] == L"--out" && hasValue) {
            options.out = args[++i];
        } else if (args[i] == L"--time") {
            options.time = true;
        } else {
            return false;
        }
    }
    return true;
}

int Fail(HRESULT hr, const wchar_t* step) {
    std::fwprintf(stderr, L"error: 0x%08lX (%ls)\n", static_cast<unsigned long>(hr), step);
    return 1;
}

} // namespace

int RunThumbnailCommand(const std::vector<std::wstring>& args) {
    Options options;
    if (!ParseOptions(args, options)) {
        std::fwprintf(stderr, L"usage: quivane thumbnail FILE [--size N] [--out OUT.png] [--time]\n");
        return 2;
    }
    ComPtr<IThumbnailProvider> provider;
    Activation how = Activation::RegisteredClass;
    HRESULT hr = CreateServerObject(Quivane::CLSID_QuivaneThumbnailProvider, __uuidof(IThumbnailProvider),
                                    reinterpret_cast<void**>(provider.GetAddressOf()), &how);
    std::fwprintf(stderr, L"thumbnail provider from %ls\n", DescribeActivation(how));
    if (FAILED(hr)) return Fail(hr, L"activation");
    ComPtr<IStream> stream;
    if (FAILED(hr = OpenReadStream(options.file, stream))) return Fail(hr, L"open");
    ComPtr<IInitializeWithStream> initialize;
    if (FAILED(hr = provider.As(&initialize))) return Fail(hr, L"initialize");
    if (FAILED(hr = initialize->Initialize(stream.Get(), STGM_READ))) return Fail(hr, L"initialize");

    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    hr = provider->GetThumbnail(options.size, &bitmap, &alpha);
    QueryPerformanceCounter(&finished);
    if (hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT)) {
        // The platform's decoder is still stuck inside the file: ending the
        // process the usual way would wait on, or crash in, its teardown.
        Fail(hr, L"thumbnail");
        std::fflush(stdout);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 1);
    }
    if (FAILED(hr)) return Fail(hr, L"thumbnail");
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    hr = WriteDibSectionPng(bitmap, options.out);
    DeleteObject(bitmap);
    if (FAILED(hr)) return Fail(hr, L"write");
    std::printf("thumbnail\t%ld\t%ld\n", static_cast<long>(info.bmWidth), static_cast<long>(info.bmHeight));
    if (options.time) {
        std::printf("get_thumbnail_ms\t%.1f\n",
                    static_cast<double>(finished.QuadPart - started.QuadPart) * 1000.0 / frequency.QuadPart);
    }
    return 0;
}

} // namespace QuivaneTool
