#include "FramesCommand.h"

#include "ImageFiles.h"
#include "renderers/FrameSource.h"
#include "renderers/SourceRenderer.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace QuivaneTool {
namespace {

using Microsoft::WRL::ComPtr;

int Fail(HRESULT hr, const wchar_t* what) {
    std::fwprintf(stderr, L"error: 0x%08lX (%ls)\n", static_cast<unsigned long>(hr), what);
    return 1;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring FrameFileName(std::uint64_t index) {
    wchar_t name[32];
    std::swprintf(name, 32, L"frame_%04llu.png", static_cast<unsigned long long>(index));
    return name;
}

} // namespace

int RunFramesCommand(const std::wstring& file, const std::wstring& outDir, bool printTimes, double atSeconds) {
    ComPtr<IStream> stream;
    HRESULT hr = OpenReadStream(file, stream);
    if (FAILED(hr)) return Fail(hr, L"open");

    // The content decides; the name only when the first bytes are not known.
    const Quivane::FormatRow* format = Quivane::ChooseFormatForStream(stream.Get(), file);
    if (format == nullptr) return Fail(E_FAIL, L"unknown format");
    std::unique_ptr<Quivane::IAnimatedRenderer> renderer = Quivane::CreateRenderer(*format);
    if (!renderer) return Fail(E_OUTOFMEMORY, L"no renderer");

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    hr = atSeconds >= 0 ? renderer->LoadAtPosition(stream.Get(), static_cast<std::uint64_t>(atSeconds * 1e7))
                        : renderer->Load(stream.Get());
    const double decodeMs = MillisecondsSince(start);
    if (FAILED(hr)) return Fail(hr, L"decode");

    if (!CreateDirectoryW(outDir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return Fail(HRESULT_FROM_WIN32(GetLastError()), L"create output folder");
    }
    const std::wstring tsvPath = outDir + L"\\frames.tsv";
    FILE* tsv = _wfopen(tsvPath.c_str(), L"wb");
    if (tsv == nullptr) return Fail(E_FAIL, L"create frames.tsv");
    std::fprintf(tsv, "index\tfile\tdelay_ms\twidth\theight\n");

    const std::uint64_t count = renderer->GetFrameCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        ComPtr<IWICBitmapSource> bitmap;
        hr = renderer->GetFrameBitmap(index, &bitmap);
        UINT width = 0;
        UINT height = 0;
        if (SUCCEEDED(hr)) hr = bitmap->GetSize(&width, &height);
        const std::wstring name = FrameFileName(index);
        if (SUCCEEDED(hr)) hr = WriteStraightAlphaPng(bitmap.Get(), outDir + L"\\" + name);
        if (FAILED(hr)) {
            std::fclose(tsv);
            return Fail(hr, L"write frame");
        }
        std::fprintf(tsv, "%u\t%ls\t%u\t%u\t%u\n", index, name.c_str(), renderer->GetFrameDelay(index), width, height);
    }
    std::fclose(tsv);

    if (printTimes) {
        const double perFrame = count ? decodeMs / static_cast<double>(count) : 0.0;
        std::printf("decode_ms\t%.3f\nframes\t%llu\nms_per_frame\t%.3f\n", decodeMs,
                    static_cast<unsigned long long>(count), perFrame);
        if (renderer->IsTimeBased()) {
            std::printf("position_s\t%.3f\nduration_s\t%.3f\n", static_cast<double>(renderer->GetPosition()) / 1e7,
                        static_cast<double>(renderer->GetDuration()) / 1e7);
        }
    }
    std::printf("%llu frames written to %ls\n", static_cast<unsigned long long>(count), outDir.c_str());
    return 0;
}

} // namespace QuivaneTool
