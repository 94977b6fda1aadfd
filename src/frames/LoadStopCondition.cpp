#include "LoadStopCondition.h"

namespace Quivane {
namespace {

thread_local LoadStopCondition currentCondition;

bool DeadlinePassed() {
    return currentCondition.deadlineTick != 0 && GetTickCount64() >= currentCondition.deadlineTick;
}

} // namespace

void SetLoadStopCondition(const std::atomic<std::uint64_t>* generation, std::uint64_t expectedGeneration,
                          std::uint64_t deadlineTick) {
    currentCondition.watchedGeneration = generation;
    currentCondition.expectedGeneration = expectedGeneration;
    currentCondition.deadlineTick = deadlineTick;
}

void ClearLoadStopCondition() { currentCondition = LoadStopCondition{}; }

bool ShouldStopLoading() {
    if (currentCondition.watchedGeneration != nullptr &&
        currentCondition.watchedGeneration->load() != currentCondition.expectedGeneration) {
        return true;
    }
    return DeadlinePassed();
}

HRESULT StopResult() {
    return DeadlinePassed() ? HRESULT_FROM_WIN32(WAIT_TIMEOUT) : HRESULT_FROM_WIN32(ERROR_CANCELLED);
}

} // namespace Quivane
