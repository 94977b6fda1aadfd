#include "Registration.h"

#include "RegistryLayout.h"
#include "ReplacedHandlers.h"
#include "platform/ServerClasses.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"

#include <objbase.h>

#include <vector>

namespace Quivane {

namespace {

HRESULT FromWin32(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT WriteRegistryBytes(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, DWORD type, const void* data,
                           DWORD byteCount) {
    HKEY opened = nullptr;
    const LSTATUS status = RegCreateKeyExW(root, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) return FromWin32(status);
    const UniqueRegistryKey key(opened);
    return FromWin32(RegSetValueExW(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), byteCount));
}

// Clearing a value that may not be there: every outcome is acceptable.
void DeleteRegistryValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
    const UniqueRegistryKey key(opened);
    RegDeleteValueW(key.Get(), valueName);
}

HRESULT ApplyStep(HKEY root, const RegistryStep& step) {
    const wchar_t* valueName = step.valueName.empty() ? nullptr : step.valueName.c_str();
    switch (step.action) {
    case RegistryAction::WriteString:
        return WriteRegistryValue(root, step.key.c_str(), valueName, step.text, REG_SZ);
    case RegistryAction::WriteExpandString:
        return WriteRegistryValue(root, step.key.c_str(), valueName, step.text, REG_EXPAND_SZ);
    case RegistryAction::WriteDword: {
        const DWORD number = step.number;
        return WriteRegistryBytes(root, step.key.c_str(), valueName, REG_DWORD, &number, sizeof(number));
    }
    case RegistryAction::DeleteValue:
        DeleteRegistryValue(root, step.key.c_str(), valueName);
        return S_OK;
    }
    return E_UNEXPECTED;
}

HRESULT ApplySteps(HKEY root, const std::vector<RegistryStep>& steps) {
    for (const RegistryStep& step : steps) RETURN_IF_FAILED(ApplyStep(root, step));
    return S_OK;
}

ServerClassIds OurClasses() {
    return {RegistryClassIdString(CLSID_QuivanePreviewHandler), RegistryClassIdString(CLSID_QuivaneThumbnailProvider)};
}

PreviewSurrogate ThisServersSurrogate() {
    // A 32-bit server on 64-bit Windows runs in the 32-bit preview host Windows keeps for it.
    return OtherRegistryView() == KEY_WOW64_64KEY ? PreviewSurrogate::Wow64Host : PreviewSurrogate::OwnHost;
}

} // namespace

HRESULT WriteRegistryValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const std::wstring& data,
                           DWORD type) {
    // Strings are stored with their terminating null.
    const DWORD byteCount = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return WriteRegistryBytes(root, keyPath, valueName, type, data.c_str(), byteCount);
}

std::wstring RegistryClassIdString(REFCLSID clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return text;
}

HRESULT RegisterInprocServer(HKEY root, const std::wstring& modulePath, const std::wstring& clsid) {
    return ApplySteps(root, InprocServerSteps(clsid, modulePath));
}

HRESULT RegisterServerInHive(HKEY root, const std::wstring& modulePath) {
    const ServerClassIds ours = OurClasses();
    // Nothing is taken over that could not be given back.
    RETURN_IF_FAILED(RecordReplacedHandlers(root, ours));
    return ApplySteps(root, RegistrationSteps(ours.preview, ours.thumbnail, modulePath, ThisServersSurrogate()));
}

void UnregisterServerInHive(HKEY root) {
    const ServerClassIds ours = OurClasses();
    MoveSettingsOutOfClassKey(root, ours);
    for (const std::wstring& key : UnregisteredKeys(ours.preview, ours.thumbnail, ThisServersSurrogate())) {
        RegDeleteTreeW(root, key.c_str());
    }
    // The handler keys and the shell's lists serve the other build too while
    // it stays registered; the last one out puts back what was there before.
    if (OtherViewHasServer(root, ours)) return;
    GiveBackReplacedHandlers(root, ours);
    for (const RegistryValueName& value : UnregisteredValues(ours.preview, ours.thumbnail)) {
        DeleteRegistryValue(root, value.key.c_str(), value.valueName.c_str());
    }
}

HRESULT ModuleFileName(HMODULE module, std::wstring& path) {
    if (module == nullptr) return E_UNEXPECTED;
    // A truncated path would register a server that can never load, so the
    // buffer grows until the whole path fits, up to the longest path Windows has.
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
        std::vector<wchar_t> buffer(capacity, L'\0');
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
        if (length == 0) return HResultFromLastError();
        if (length < capacity) {
            path.assign(buffer.data(), length);
            return S_OK;
        }
        if (capacity > 32768) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
}

HRESULT RegistrableModulePath(const std::wstring& modulePath, std::wstring& path) {
    const auto fits = [](const std::wstring& candidate) { return candidate.size() < MAX_PATH; };
    // "\\?\C:\..." names the same file as "C:\..."; only the latter loads from a short buffer.
    const auto withoutPrefix = [](const std::wstring& candidate) {
        const std::wstring prefix = L"\\\\?\\";
        const bool local = candidate.compare(0, prefix.size(), prefix) == 0 && candidate.size() > prefix.size() + 1 &&
                           candidate[prefix.size() + 1] == L':';
        return local ? candidate.substr(prefix.size()) : candidate;
    };
    if (fits(withoutPrefix(modulePath))) {
        path = withoutPrefix(modulePath);
        return S_OK;
    }
    const DWORD needed = GetShortPathNameW(modulePath.c_str(), nullptr, 0);
    if (needed != 0) {
        std::vector<wchar_t> buffer(needed, L'\0');
        const DWORD length = GetShortPathNameW(modulePath.c_str(), buffer.data(), needed);
        if (length != 0 && length < needed) {
            const std::wstring shortPath = withoutPrefix(std::wstring(buffer.data(), length));
            if (fits(shortPath)) {
                path = shortPath;
                return S_OK;
            }
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

} // namespace Quivane
