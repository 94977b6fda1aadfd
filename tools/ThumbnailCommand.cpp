#include "ThumbnailCommand.h"

#include "Console.h"
#include "Failure.h"
#include "ImageFiles.h"
#include "ServerActivation.h"
#include "platform/FailureErrorInfo.h"
#include "platform/ServerClasses.h"

#include <windows.h>
#include <propsys.h>
#include <thumbcache.h>
#include <wrl/client.h>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

namespace {

constexpr long kLargestSize = 32768;

int MakeThumbnail(const std::wstring& file, UINT size, const std::wstring& out, bool time) {
    ComPtr<IThumbnailProvider> provider;
    Activation how = Activation::RegisteredClass;
    HRESULT hr = CreateServerObject(Quivane::CLSID_QuivaneThumbnailProvider, __uuidof(IThumbnailProvider),
                                    reinterpret_cast<void**>(provider.GetAddressOf()), &how);
    PrintError(L"thumbnail provider from %ls\n", DescribeActivation(how));
    if (FAILED(hr)) return ReportFailure(L"cannot create the thumbnail provider", hr);
    ComPtr<IStream> stream;
    if (FAILED(hr = OpenReadStream(file, stream))) return ReportFileFailure(file, L"cannot open", hr);
    ComPtr<IInitializeWithStream> initialize;
    if (FAILED(hr = provider.As(&initialize))) return ReportFailure(L"the provider takes no stream", hr);
    if (FAILED(hr = initialize->Initialize(stream.Get(), STGM_READ))) return ReportFileFailure(file, L"cannot read", hr);

    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    hr = provider->GetThumbnail(size, &bitmap, &alpha);
    QueryPerformanceCounter(&finished);
    if (FAILED(hr)) {
        return ReportFileFailure(file, L"no thumbnail", hr,
                                 Quivane::TakePublishedFailurePlace(provider.Get(), __uuidof(IThumbnailProvider)));
    }
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    hr = WriteDibSectionPng(bitmap, out);
    DeleteObject(bitmap);
    if (FAILED(hr)) return ReportFileFailure(out, L"cannot write", hr);
    Print(L"thumbnail\t%ld\t%ld\n", static_cast<long>(info.bmWidth), static_cast<long>(info.bmHeight));
    if (time) {
        Print(L"get_thumbnail_ms\t%.1f\n",
              static_cast<double>(finished.QuadPart - started.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
    }
    return kExitOk;
}

} // namespace

const CommandInfo& ThumbnailCommandInfo() {
    static const CommandInfo info = {
        L"thumbnail",
        {L"FILE"},
        L"asks the thumbnail provider for FILE's thumbnail as Explorer does and writes it as a PNG with its alpha",
        {{L"--size", L"N", L"the thumbnail's largest side in pixels, 1 to 32768 (256)"},
         {L"--out", L"OUT.png", L"where to write it (thumbnail.png)"},
         {L"--time", nullptr, L"print how long GetThumbnail took"}},
        {}};
    return info;
}

int RunThumbnailCommand(const ParsedLine& line) {
    long size = 256;
    if (const std::wstring* value = line.Value(L"--size"); value != nullptr && !ReadWholeNumber(*value, 1, kLargestSize, size)) {
        return ReportUsageError(ThumbnailCommandInfo(), L"--size " + *value + L": give a whole number from 1 to 32768");
    }
    const std::wstring* out = line.Value(L"--out");
    return MakeThumbnail(line.operands[0], static_cast<UINT>(size), out ? *out : L"thumbnail.png", line.Has(L"--time"));
}

} // namespace QuivaneTool
