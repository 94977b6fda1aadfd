#pragma once
// Where a failure began. RETURN_IF_FAILED and RETURN_FAILURE note each
// failing HRESULT with its source file and line; the first place a code is
// seen is kept, so an error reported far up still says where it came from.
//
// The record belongs to the calling thread, and an operation (a load, a
// thumbnail, a command of the tool) runs on one thread: it calls
// ResetFailureRecord when it starts. A code passed up unchanged keeps the
// place already recorded; a different code (a new failure, or one turned into
// another) is recorded afresh. Each new record goes to OutputDebugString and
// to the hook, when one is set.
#include <windows.h>

#include <optional>
#include <string>

namespace Quivane {

struct FailurePlace {
    HRESULT hr = S_OK;
    const char* file = nullptr; // the source file's name without its folders; static storage
    int line = 0;
};

// Notes a failing `hr` seen at `file`:`line` (a __FILE__ path) and returns it unchanged.
HRESULT NoteFailure(HRESULT hr, const char* file, int line);
// Begins an operation on this thread: nothing is recorded.
void ResetFailureRecord();
// Where this thread's failure began, if one was noted since the last reset.
std::optional<FailurePlace> RecordedFailure();
// Takes over a failure recorded on another thread (a worker that did the job).
void AdoptFailure(const FailurePlace& place);

// Called on the recording thread with every new record; any thread may set it.
using FailureHook = void (*)(const FailurePlace& place);
void SetFailureHook(FailureHook hook);

// "GifFrameSource.cpp:123".
std::wstring DescribeFailurePlace(const FailurePlace& place);

} // namespace Quivane
