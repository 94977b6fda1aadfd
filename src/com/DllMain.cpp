// Library entry points: the class objects of the preview handler and the
// thumbnail provider, and their registration for the current user (and the
// machine, when allowed), or for the one hive an installer names.
#include "PreviewClassFactory.h"
#include "Registration.h"
#include "platform/ServerClasses.h"
#include "platform/ServerLifetime.h"
#include "preview/PreviewHandlerCom.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <exception>
#include <new>
#include <string>

namespace {
HINSTANCE moduleHandle = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleHandle = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded while the process goes on: a later load registers the class
        // again with its own window procedure.
        UnregisterClassW(Quivane::kPreviewWindowClass, instance);
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

// Live objects, server locks and running workers keep the library loaded.
STDAPI DllCanUnloadNow() { return Quivane::ServerModuleLocks() == 0 ? S_OK : S_FALSE; }

// Explorer caches thumbnails and handler choices per file type; this makes it look again.
static void TellShellAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

static HRESULT RegistrablePathOfThisModule(std::wstring& modulePath) {
    std::wstring loadedPath;
    const HRESULT found = Quivane::ModuleFileName(moduleHandle, loadedPath);
    return FAILED(found) ? found : Quivane::RegistrableModulePath(loadedPath, modulePath);
}

STDAPI DllRegisterServer() {
    try {
        std::wstring modulePath;
        const HRESULT found = RegistrablePathOfThisModule(modulePath);
        if (FAILED(found)) return found;
        // The per-user registration decides; the machine-wide one needs rights a user may lack.
        const HRESULT hr = Quivane::RegisterServerInHive(HKEY_CURRENT_USER, modulePath);
        if (FAILED(hr)) return hr;
        static_cast<void>(Quivane::RegisterServerInHive(HKEY_LOCAL_MACHINE, modulePath));
        TellShellAssociationsChanged();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

STDAPI DllUnregisterServer() {
    try {
        Quivane::UnregisterServerInHive(HKEY_CURRENT_USER);
        Quivane::UnregisterServerInHive(HKEY_LOCAL_MACHINE);
        TellShellAssociationsChanged();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

// The installer's entry point (regsvr32 /n /i:user or /i:machine): one hive
// only, so a per-user install never touches the machine's keys and a
// machine-wide one leaves the user's alone. No command line means the user.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    try {
        HKEY root = nullptr;
        if (commandLine == nullptr || *commandLine == L'\0' || lstrcmpiW(commandLine, L"user") == 0) {
            root = HKEY_CURRENT_USER;
        } else if (lstrcmpiW(commandLine, L"machine") == 0) {
            root = HKEY_LOCAL_MACHINE;
        } else {
            return E_INVALIDARG;
        }
        if (!install) {
            Quivane::UnregisterServerInHive(root);
            TellShellAssociationsChanged();
            return S_OK;
        }
        std::wstring modulePath;
        const HRESULT found = RegistrablePathOfThisModule(modulePath);
        if (FAILED(found)) return found;
        const HRESULT hr = Quivane::RegisterServerInHive(root, modulePath);
        // A half-written registration would point the shell at handlers that
        // are only partly there; a failed install leaves none.
        if (FAILED(hr)) Quivane::UnregisterServerInHive(root);
        TellShellAssociationsChanged();
        return hr;
    } catch (...) {
        return E_FAIL;
    }
}
