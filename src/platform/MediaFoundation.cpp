#include "MediaFoundation.h"

namespace Quivane {
namespace {

INIT_ONCE startOnce = INIT_ONCE_STATIC_INIT;
HRESULT startResult = E_FAIL;

BOOL CALLBACK StartMediaFoundation(PINIT_ONCE, PVOID, PVOID*) {
    startResult = MFStartup(MF_VERSION, MFSTARTUP_LITE);
    return TRUE;
}

} // namespace

HRESULT EnsureMediaFoundationStarted() {
    if (!InitOnceExecuteOnce(&startOnce, StartMediaFoundation, nullptr, nullptr)) return E_FAIL;
    return startResult;
}

} // namespace Quivane
