#include "HandlerLookup.h"

#include "platform/OwnedHandles.h"

#include <vector>

namespace QuivaneTool {

using Quivane::UniqueRegistryKey;

std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key, const wchar_t* valueName,
                                               REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return std::nullopt;
    const UniqueRegistryKey owned(opened);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(owned.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(owned.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text.data()); // up to the first null, whether or not one was stored
}

std::optional<std::wstring> ReadClassesString(const std::wstring& key, const wchar_t* valueName, REGSAM view,
                                              std::wstring* from) {
    const std::wstring path = L"Software\\Classes\\" + key;
    const struct {
        HKEY root;
        const wchar_t* name;
    } roots[] = {{HKEY_CURRENT_USER, L"HKCU\\"}, {HKEY_LOCAL_MACHINE, L"HKLM\\"}};
    for (const auto& root : roots) {
        std::optional<std::wstring> value = ReadRegistryString(root.root, path, valueName, view);
        if (value.has_value() && !value->empty()) {
            if (from != nullptr) *from = root.name + path;
            return value;
        }
    }
    return std::nullopt;
}

HandlerChoice ResolveHandler(const std::wstring& extension, const wchar_t* slot, REGSAM view) {
    // The file type the user chose in Explorer's Open with wins over the extension's own.
    std::optional<std::wstring> progId = ReadRegistryString(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension + L"\\UserChoice",
        L"ProgId", view);
    if (!progId.has_value() || progId->empty()) progId = ReadClassesString(extension, nullptr, view);
    const std::optional<std::wstring> perceived = ReadClassesString(extension, L"PerceivedType", view);

    std::vector<std::wstring> keys{extension};
    if (progId.has_value()) keys.push_back(*progId);
    keys.push_back(L"SystemFileAssociations\\" + extension);
    if (perceived.has_value()) keys.push_back(L"SystemFileAssociations\\" + *perceived);
    for (const std::wstring& key : keys) {
        HandlerChoice choice;
        const std::optional<std::wstring> clsid =
            ReadClassesString(key + L"\\shellex\\" + slot, nullptr, view, &choice.foundAt);
        if (clsid.has_value()) {
            choice.clsid = *clsid;
            return choice;
        }
    }
    return {};
}

} // namespace QuivaneTool
