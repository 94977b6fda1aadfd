#include "Failure.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace Quivane {
namespace {

thread_local std::optional<FailurePlace> recorded;
std::atomic<FailureHook> hook{nullptr};

const char* WithoutFolders(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') name = at + 1;
    }
    return name;
}

void Record(const FailurePlace& place) {
    recorded = place;
    char text[160];
    std::snprintf(text, sizeof(text), "Quivane: 0x%08lX at %s:%d\n", static_cast<unsigned long>(place.hr),
                  place.file != nullptr ? place.file : "?", place.line);
    OutputDebugStringA(text);
    if (const FailureHook call = hook.load()) call(place);
}

} // namespace

HRESULT NoteFailure(HRESULT hr, const char* file, int line) {
    if (FAILED(hr) && (!recorded || recorded->hr != hr)) {
        Record(FailurePlace{hr, file != nullptr ? WithoutFolders(file) : nullptr, line});
    }
    return hr;
}

void ResetFailureRecord() { recorded.reset(); }

std::optional<FailurePlace> RecordedFailure() { return recorded; }

void AdoptFailure(const FailurePlace& place) { recorded = place; }

void SetFailureHook(FailureHook newHook) { hook.store(newHook); }

std::wstring DescribeFailurePlace(const FailurePlace& place) {
    std::wstring text;
    for (const char* at = place.file != nullptr ? place.file : "?"; *at != '\0'; ++at) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(*at));
    }
    return text + L":" + std::to_wstring(place.line);
}

} // namespace Quivane
