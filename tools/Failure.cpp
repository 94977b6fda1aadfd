#include "Failure.h"

#include "Console.h"
#include "formats/FormatSources.h"
#include "formats/video/VideoFrameSource.h"
#include "platform/Failure.h"
#include "presentation/FailureReasons.h"

#include <wincodec.h>

#include <cwchar>

namespace QuivaneTool {

namespace {

bool toldOfTooLong = false;

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                        nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    // One line: the system's message ends in a line break, often after a full stop.
    for (wchar_t& c : text) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) text.pop_back();
    return text;
}

std::wstring FacilityDescription(HRESULT hr) {
    switch (HRESULT_FACILITY(hr)) {
    case 0x898: return L"an imaging component (WIC) error"; // the WINCODEC facility
    case 0x899: return L"a Direct2D error";
    case 0xD: return L"a Media Foundation error"; // FACILITY_MF
    case FACILITY_WIN32: return L"system error " + std::to_wstring(HRESULT_CODE(hr));
    default: return L"an error the system has no message for";
    }
}

// What is wrong with a file, in the words the preview pane tells it: the
// same file gets the same words from every command.
std::wstring FileFailureWords(HRESULT hr) {
    static const HRESULT kTold[] = {WINCODEC_ERR_BADIMAGE,        WINCODEC_ERR_UNKNOWNIMAGEFORMAT,
                                    Quivane::kUnknownFormat,      Quivane::kEmptyFile,
                                    Quivane::kDamagedVideoFile,   Quivane::kVideoCodecMissing,
                                    HRESULT_FROM_WIN32(WAIT_TIMEOUT)};
    for (const HRESULT told : kTold) {
        if (hr != told) continue;
        std::wstring words = Quivane::FailureReason(hr, {});
        while (!words.empty() && words.back() == L'.') words.pop_back();
        return words;
    }
    return {};
}

} // namespace

std::wstring DescribeHResult(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = FileFailureWords(hr);
    if (text.empty()) text = SystemMessage(hr);
    return std::wstring(code) + L" " + (text.empty() ? FacilityDescription(hr) : text);
}

int ReportFileFailure(const std::wstring& file, const wchar_t* what, HRESULT hr, const std::wstring& serverPlace) {
    std::wstring place;
    // Only the place this very code began: an earlier failure that was got over says nothing of it.
    if (const auto recorded = Quivane::RecordedFailure(); recorded && recorded->hr == hr) {
        place = L" (at " + Quivane::DescribeFailurePlace(*recorded) + L")";
    } else if (!serverPlace.empty()) {
        place = L" (at " + serverPlace + L")";
    }
    WriteError(L"error: " + file + L": " + what + L": " + DescribeHResult(hr) + place + L"\n");
    toldOfTooLong = toldOfTooLong || hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT);
    return kExitFailed;
}

bool ToldOfALoadThatTookTooLong() { return toldOfTooLong; }

int ReportFailure(const wchar_t* what, HRESULT hr) {
    WriteError(std::wstring(L"error: ") + what + L": " + DescribeHResult(hr) + L"\n");
    return kExitFailed;
}

} // namespace QuivaneTool
