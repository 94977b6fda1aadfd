#include "RegisterCommand.h"

#include "Console.h"
#include "Failure.h"
#include "ServerActivation.h"

#include <windows.h>

namespace QuivaneTool {

const CommandInfo& RegisterCommandInfo() {
    static const CommandInfo info = {
        L"register",
        {},
        L"registers the Quivane.dll beside the tool for the current user, as regsvr32 would",
        {{L"--unregister", nullptr, L"remove the registration instead"}},
        {}};
    return info;
}

int RunRegisterCommand(const ParsedLine& line) {
    const bool unregister = line.Has(L"--unregister");
    HMODULE library = nullptr;
    HRESULT hr = LoadServerBesideTool(library);
    if (SUCCEEDED(hr)) {
        using Entry = HRESULT(WINAPI*)();
        const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
            GetProcAddress(library, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
        hr = entry != nullptr ? entry() : E_NOINTERFACE;
    }
    if (FAILED(hr)) return ReportFailure(unregister ? L"cannot unregister Quivane.dll" : L"cannot register Quivane.dll", hr);
    Print(unregister ? L"Quivane.dll unregistered\n" : L"Quivane.dll registered\n");
    return kExitOk;
}

} // namespace QuivaneTool
