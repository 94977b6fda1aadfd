#include "RegisterCommand.h"

#include "ServerActivation.h"

#include <windows.h>

#include <cstdio>

namespace QuivaneTool {

int RunRegisterCommand(const std::vector<std::wstring>& args) {
    const bool unregister = args.size() == 2 && args[1] == L"--unregister";
    if (args.size() > 2 || (args.size() == 2 && !unregister)) {
        std::fwprintf(stderr, L"usage: quivane register [--unregister]\n");
        return 2;
    }
    HMODULE library = nullptr;
    HRESULT hr = LoadServerBesideTool(library);
    if (SUCCEEDED(hr)) {
        using Entry = HRESULT(WINAPI*)();
        const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
            GetProcAddress(library, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
        hr = entry != nullptr ? entry() : E_NOINTERFACE;
    }
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"error: 0x%08lX (%ls)\n", static_cast<unsigned long>(hr),
                      unregister ? L"unregister" : L"register");
        return 1;
    }
    std::wprintf(unregister ? L"Quivane.dll unregistered\n" : L"Quivane.dll registered\n");
    return 0;
}

} // namespace QuivaneTool
