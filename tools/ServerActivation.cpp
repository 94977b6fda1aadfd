#include "ServerActivation.h"

#include "platform/HResult.h"

#include <objbase.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

HRESULT LoadServerBesideTool(HMODULE& library) {
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return HResultFromLastError();
    std::wstring folder(path.data(), length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    // The objects it makes live as long as the process, so it is never freed.
    library = LoadLibraryExW((folder + L"Quivane.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library != nullptr ? S_OK : HResultFromLastError();
}

HRESULT CreateServerObject(REFCLSID clsid, REFIID iid, void** out, Activation* how) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    if (hr != REGDB_E_CLASSNOTREG) {
        if (how != nullptr) *how = Activation::RegisteredClass;
        return hr;
    }
    if (how != nullptr) *how = Activation::LibraryBesideTool;
    HMODULE library = nullptr;
    RETURN_IF_FAILED(LoadServerBesideTool(library));
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (getClassObject == nullptr) return HResultFromLastError();
    ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(getClassObject(clsid, IID_PPV_ARGS(&factory)));
    return factory->CreateInstance(nullptr, iid, out);
}

const wchar_t* DescribeActivation(Activation how) {
    return how == Activation::RegisteredClass ? L"the registered class" : L"Quivane.dll beside quivane.exe";
}

} // namespace QuivaneTool
