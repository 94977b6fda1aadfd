#pragma once
#include <windows.h>
#include <unknwn.h>

#include "platform/ServerLifetime.h"

namespace Quivane {

// One factory for both classes: it creates whichever class it was asked for.
class PreviewClassFactory final : public IClassFactory {
public:
    explicit PreviewClassFactory(REFCLSID classId) : classId(classId) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    IFACEMETHODIMP LockServer(BOOL lock) override;

private:
    ~PreviewClassFactory() = default;

    LONG refCount = 1;
    CLSID classId;
    ServerModuleLock serverLock;
};

} // namespace Quivane
