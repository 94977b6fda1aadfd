#pragma once
// Which handler class Explorer uses for a file type's preview or thumbnail,
// found the way it looks: each key in the user's classes before the
// machine's (the merged view HKEY_CLASSES_ROOT gives), and the keys in the
// order the extension, its file type (ProgID), the extension's
// SystemFileAssociations key and its perceived type's.
#include <windows.h>

#include <optional>
#include <string>

namespace QuivaneTool {

// A string value (REG_SZ or REG_EXPAND_SZ, unexpanded) in one registry view, or none.
std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* valueName,
                                               REGSAM view);

// A value below Software\Classes, the user's before the machine's; `from`
// names where it was found ("HKCU\Software\Classes\.gif").
std::optional<std::wstring> ReadClassesString(const std::wstring& key, const wchar_t* valueName, REGSAM view,
                                              std::wstring* from = nullptr);

struct HandlerChoice {
    std::wstring clsid;   // empty: no handler anywhere
    std::wstring foundAt; // the key that named it
};

// slot: the shellex key of the handler kind, "{8895B1C6-...}" or "{E357FCCD-...}".
HandlerChoice ResolveHandler(const std::wstring& extension, const wchar_t* slot, REGSAM view);

} // namespace QuivaneTool
