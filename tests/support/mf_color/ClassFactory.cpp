// The server's entry points: one class, the converter. Registration is done by
// QuivaneTestMfRegister.exe (register-test-mf.sh), so DllRegisterServer does nothing.
#include "ColorConverter.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return QuivaneTestServer::GetClassObject<QuivaneTestMf::CreateColorConverter>(
        clsid, QuivaneTestMf::CLSID_QuivaneTestColorConverter, iid, out);
}

STDAPI DllCanUnloadNow() { return QuivaneTestServer::CanUnloadNow(); }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
