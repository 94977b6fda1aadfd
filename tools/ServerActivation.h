#pragma once
// Creating the server's objects the way a shell host does: through COM when
// the class is registered; otherwise from Quivane.dll beside the tool, by
// calling its DllGetClassObject as COM itself would.
#include <windows.h>

namespace QuivaneTool {

enum class Activation { RegisteredClass, LibraryBesideTool };

HRESULT CreateServerObject(REFCLSID clsid, REFIID iid, void** out, Activation* how);

const wchar_t* DescribeActivation(Activation how);

// Quivane.dll from the tool's own folder (never from the search path), left loaded.
HRESULT LoadServerBesideTool(HMODULE& library);

} // namespace QuivaneTool
