#pragma once
// Per-thread test by which a running decode learns that a newer load has
// superseded it or that its deadline has passed.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace Quivane {

struct LoadStopCondition {
    std::uint64_t deadlineTick = 0;                            // GetTickCount64 value; 0 = none
    const std::atomic<std::uint64_t>* watchedGeneration = nullptr;
    std::uint64_t expectedGeneration = 0;
};

void SetLoadStopCondition(const std::atomic<std::uint64_t>* generation, std::uint64_t expectedGeneration,
                          std::uint64_t deadlineTick);
void ClearLoadStopCondition();
bool ShouldStopLoading();
// ERROR_CANCELLED for a superseded load, WAIT_TIMEOUT once the deadline has passed.
[[nodiscard]] HRESULT StopResult();

} // namespace Quivane
