// The server's entry points: one class, the converter. Registration is done by
// QuivaneTestMfRegister.exe (register-test-mf.sh), so DllRegisterServer does nothing.
#include "ColorConverter.h"

#include <new>

namespace QuivaneTestMf {

namespace {

std::atomic<long> serverReferences{0};

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return CreateColorConverter(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ServerAddRef();
        } else {
            ServerRelease();
        }
        return S_OK;
    }

private:
    ServerReference server_;
    std::atomic<ULONG> references_{1};
};

} // namespace

void ServerAddRef() { ++serverReferences; }
void ServerRelease() { --serverReferences; }
bool ServerInUse() { return serverReferences.load() != 0; }

} // namespace QuivaneTestMf

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (clsid != QuivaneTestMf::CLSID_QuivaneTestColorConverter) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) QuivaneTestMf::ClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() { return QuivaneTestMf::ServerInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
