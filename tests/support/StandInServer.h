#pragma once
// What the test-only stand-in servers share: the count that keeps their DLL
// loaded, and a class factory for a server of one class. Each DLL that
// includes this keeps its own count.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <new>

namespace QuivaneTestServer {

// Live objects and LockServer locks, for DllCanUnloadNow.
inline std::atomic<long>& ServerReferences() {
    static std::atomic<long> references{0};
    return references;
}

// Held by every object the server hands out.
class ServerReference {
public:
    ServerReference() { ++ServerReferences(); }
    ~ServerReference() { --ServerReferences(); }
    ServerReference(const ServerReference&) = delete;
    ServerReference& operator=(const ServerReference&) = delete;
};

using CreateObject = HRESULT (*)(REFIID iid, void** out);

template <CreateObject create>
class SingleClassFactory final : public IClassFactory {
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
        return create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++ServerReferences();
        } else {
            --ServerReferences();
        }
        return S_OK;
    }

private:
    ServerReference server_;
    std::atomic<ULONG> references_{1};
};

// DllGetClassObject of a server whose one class is `served`.
template <CreateObject create>
HRESULT GetClassObject(REFCLSID requested, REFCLSID served, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (requested != served) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) SingleClassFactory<create>();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

inline HRESULT CanUnloadNow() { return ServerReferences().load() != 0 ? S_FALSE : S_OK; }

} // namespace QuivaneTestServer
