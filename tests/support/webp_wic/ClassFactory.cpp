// The server's entry points: one class, the decoder. Registration is the test
// scripts' business (register-test-codecs.sh), so DllRegisterServer does nothing.
#include "WebpDecoder.h"

namespace QuivaneTestWebp {

const CLSID CLSID_QuivaneTestWebpDecoder = {
    0xa103cb1e, 0x6235, 0x49ed, {0xbf, 0xb5, 0x2e, 0xde, 0xd6, 0xf3, 0xbf, 0x69}};

} // namespace QuivaneTestWebp

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return QuivaneTestServer::GetClassObject<QuivaneTestWebp::CreateDecoder>(
        clsid, QuivaneTestWebp::CLSID_QuivaneTestWebpDecoder, iid, out);
}

STDAPI DllCanUnloadNow() { return QuivaneTestServer::CanUnloadNow(); }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
