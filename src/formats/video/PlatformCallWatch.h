#pragma once
// The platform's media reader, watched. Its calls run on a thread of their
// own in the multithreaded apartment while the caller waits; a reader that
// stops answering (a damaged file, a share gone away) makes no progress, and
// once it has made none for kPlatformStallMs the caller stops waiting and the
// thread is left to the platform with what it holds. No load of a video then
// keeps a thumbnail, a preview or the tool waiting for ever.
#include "platform/StopToken.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

namespace Quivane {

// Opening a file and reading one sample take well under a second; a busy
// machine may take a few. Ten without any answer is a reader that is stuck.
constexpr DWORD kPlatformStallMs = 10000;

// When the platform last answered a watched call, shared by a source and its calls.
class PlatformProgress {
public:
    PlatformProgress() : last_(GetTickCount64()) {}
    void Note() { last_.store(GetTickCount64()); }
    ULONGLONG Last() const { return last_.load(); }

private:
    std::atomic<ULONGLONG> last_;
};

// Runs `call` on a worker thread of its own with a token that stops once `stop`
// does, and returns what it returns (StopResult(stop) for a failure after
// `stop` said so). HRESULT_FROM_WIN32(WAIT_TIMEOUT) once `progress` has not
// moved for kPlatformStallMs: `call` must then own, through its captures,
// everything it touches.
[[nodiscard]] HRESULT CallPlatformWatched(std::function<HRESULT(const StopToken&)> call,
                                          const std::shared_ptr<PlatformProgress>& progress, const StopToken& stop);

} // namespace Quivane
