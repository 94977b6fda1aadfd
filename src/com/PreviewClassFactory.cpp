#include "PreviewClassFactory.h"

#include "platform/ServerClasses.h"
#include "preview/PreviewHandlerCom.h"
#include "thumbnail/ThumbnailProviderCom.h"

namespace Quivane {

IFACEMETHODIMP PreviewClassFactory::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

IFACEMETHODIMP_(ULONG) PreviewClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

IFACEMETHODIMP_(ULONG) PreviewClassFactory::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

IFACEMETHODIMP PreviewClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (classId == CLSID_QuivanePreviewHandler) return CreatePreviewHandler(iid, out);
    if (classId == CLSID_QuivaneThumbnailProvider) return CreateThumbnailProvider(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

namespace {
// Locks taken through LockServer, apart from the objects' own: an unlock with
// none taken must not release a lock an object holds, or the DLL could be
// unloaded under it.
LONG lockServerCount = 0;

bool TakeBackOneLock() {
    LONG current = InterlockedCompareExchange(&lockServerCount, 0, 0);
    while (current > 0) {
        const LONG seen = InterlockedCompareExchange(&lockServerCount, current - 1, current);
        if (seen == current) return true;
        current = seen;
    }
    return false;
}
} // namespace

IFACEMETHODIMP PreviewClassFactory::LockServer(BOOL lock) {
    if (lock) {
        InterlockedIncrement(&lockServerCount);
        LockServerModule();
        return S_OK;
    }
    if (!TakeBackOneLock()) return E_UNEXPECTED; // nothing to unlock
    UnlockServerModule();
    return S_OK;
}

} // namespace Quivane
