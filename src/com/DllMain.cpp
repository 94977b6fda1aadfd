// Library entry points: the class objects of the preview handler and the
// thumbnail provider. Registration arrives with its own work; until then it
// is refused.
#include "PreviewClassFactory.h"
#include "ServerClasses.h"

#include <windows.h>
#include <objbase.h>

#include <exception>
#include <new>

namespace {
HINSTANCE moduleHandle = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleHandle = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (clsid != Quivane::CLSID_QuivanePreviewHandler && clsid != Quivane::CLSID_QuivaneThumbnailProvider) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) Quivane::PreviewClassFactory(clsid);
    if (factory == nullptr) return E_OUTOFMEMORY;
    try {
        const HRESULT hr = factory->QueryInterface(iid, out);
        factory->Release(); // the caller's reference, if any, keeps it alive
        return hr;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

// The library stays loaded for the life of its host.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
