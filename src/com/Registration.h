#pragma once
// Writing and removing the registration of both classes under one root key
// (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
#include <windows.h>

#include <string>

namespace Quivane {

// One string value; valueName null writes the key's default value.
[[nodiscard]] HRESULT WriteRegistryValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const std::wstring& data,
                           DWORD type);

// The in-process server entries of one class (clsid in registry form).
[[nodiscard]] HRESULT RegisterInprocServer(HKEY root, const std::wstring& modulePath, const std::wstring& clsid);

// Both classes, the preview host as surrogate, the handler keys of every file
// type and the two lists the shell consults. What the handler keys held before
// is recorded first under Software\Quivane\Replaced (the first record of a key
// is kept). Stops at the first failing write.
[[nodiscard]] HRESULT RegisterServerInHive(HKEY root, const std::wstring& modulePath);

// Removes the classes; then, unless the other build (32- or 64-bit) is still
// registered, gives each handler key still naming our class its recorded
// value back (or removes it) and leaves alone those another handler took
// since. What is already missing or cannot be removed is passed over.
void UnregisterServerInHive(HKEY root);

// The full path of a loaded module, however long it is.
[[nodiscard]] HRESULT ModuleFileName(HMODULE module, std::wstring& path);

// The path to register for a module: COM reads server paths into buffers of
// MAX_PATH characters, so a longer path is registered in its short form, and
// a path that has no short form that fits fails with ERROR_FILENAME_EXCED_RANGE.
[[nodiscard]] HRESULT RegistrableModulePath(const std::wstring& modulePath, std::wstring& path);

// A class identifier in registry form: braces, upper-case hexadecimal.
std::wstring RegistryClassIdString(REFCLSID clsid);

} // namespace Quivane
