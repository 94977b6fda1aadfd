#include "Registration.h"

#include "RegistryLayout.h"
#include "ServerClasses.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"

#include <objbase.h>

#include <optional>
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

// Quivane's own key is read and written in the 64-bit view from either build:
// the handler keys of file types are one for both views, so their record is too.
constexpr REGSAM kQuivaneKeyView = KEY_WOW64_64KEY;

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

std::optional<RawValue> ReadRawValue(HKEY root, const std::wstring& keyPath, const wchar_t* valueName, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return std::nullopt;
    const UniqueRegistryKey key(opened);
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), valueName, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    value.bytes.resize(size);
    if (RegQueryValueExW(key.Get(), valueName, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.bytes.resize(size);
    return value;
}

HRESULT WriteRawValue(HKEY root, const std::wstring& keyPath, const wchar_t* valueName, const RawValue& value,
                      REGSAM view) {
    HKEY opened = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) return FromWin32(status);
    const UniqueRegistryKey key(opened);
    return FromWin32(RegSetValueExW(key.Get(), valueName, 0, value.type, value.bytes.data(),
                                    static_cast<DWORD>(value.bytes.size())));
}

// A handler value as text; a value that is not a string names no class of ours.
std::optional<std::wstring> HandlerText(const std::optional<RawValue>& value) {
    if (!value.has_value()) return std::nullopt;
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) return std::wstring();
    std::wstring text(reinterpret_cast<const wchar_t*>(value->bytes.data()), value->bytes.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

struct OurClasses {
    std::wstring preview = RegistryClassIdString(CLSID_QuivanePreviewHandler);
    std::wstring thumbnail = RegistryClassIdString(CLSID_QuivaneThumbnailProvider);
};

// Before registration takes the handler keys over, what they held is kept under Replaced.
HRESULT RecordReplacedHandlers(HKEY root, const OurClasses& ours) {
    for (const std::wstring& key : HandlerKeys()) {
        const std::optional<RawValue> current = ReadRawValue(root, key, nullptr, 0);
        const bool recorded = ReadRawValue(root, kReplacedHandlersKey, key.c_str(), kQuivaneKeyView).has_value();
        if (RecordsReplacedValue(HandlerText(current), recorded, ours.preview, ours.thumbnail)) {
            RETURN_IF_FAILED(WriteRawValue(root, kReplacedHandlersKey, key.c_str(), *current, kQuivaneKeyView));
        }
    }
    return S_OK;
}

bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 1, values = 1;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Each handler key that still names our class gets back what it held; the
// record goes, and Quivane's key with it when no setting is left in it.
void UndoHandlerKeys(HKEY root, const OurClasses& ours) {
    for (const std::wstring& key : HandlerKeys()) {
        const std::optional<RawValue> recorded = ReadRawValue(root, kReplacedHandlersKey, key.c_str(), kQuivaneKeyView);
        switch (UndoHandlerKey(HandlerText(ReadRawValue(root, key, nullptr, 0)), recorded.has_value(), ours.preview,
                               ours.thumbnail)) {
        case HandlerKeyUndo::Restore:
            static_cast<void>(WriteRawValue(root, key, nullptr, *recorded, 0));
            break;
        case HandlerKeyUndo::Delete:
            RegDeleteTreeW(root, key.c_str());
            break;
        case HandlerKeyUndo::LeaveAlone:
            break;
        }
    }
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, kQuivaneKey, 0, KEY_READ | KEY_WRITE | kQuivaneKeyView, &opened) != ERROR_SUCCESS) return;
    UniqueRegistryKey quivane(opened);
    RegDeleteTreeW(quivane.Get(), L"Replaced");
    const bool empty = KeyIsEmpty(quivane.Get());
    quivane.Reset();
    if (empty) RegDeleteKeyExW(root, kQuivaneKey, kQuivaneKeyView, 0);
}

// The frame budget once lived under the preview handler's class key, which
// unregistration removes: it moves to Quivane's own key unless one is set there.
void MoveSettingsOutOfClassKey(HKEY root, const OurClasses& ours) {
    const wchar_t name[] = L"FrameBudgetMB";
    const std::optional<RawValue> legacy = ReadRawValue(root, ClassIdKey(ours.preview), name, 0);
    if (!legacy.has_value() || ReadRawValue(root, kQuivaneKey, name, kQuivaneKeyView).has_value()) return;
    static_cast<void>(WriteRawValue(root, kQuivaneKey, name, *legacy, kQuivaneKeyView));
}

// The registry view of the other build on this system, if there is one: a
// 64-bit server's other is the 32-bit view; a 32-bit one's, under WOW64, the 64-bit view.
REGSAM OtherRegistryView() {
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
#endif
}

bool OtherViewHasOurServer(HKEY root, const OurClasses& ours) {
    const REGSAM other = OtherRegistryView();
    if (other == 0) return false;
    return ReadRawValue(root, ClassIdKey(ours.preview) + L"\\InprocServer32", nullptr, other).has_value() ||
           ReadRawValue(root, ClassIdKey(ours.thumbnail) + L"\\InprocServer32", nullptr, other).has_value();
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
    const OurClasses ours;
    // Nothing is taken over that could not be given back.
    RETURN_IF_FAILED(RecordReplacedHandlers(root, ours));
    return ApplySteps(root, RegistrationSteps(ours.preview, ours.thumbnail, modulePath, ThisServersSurrogate()));
}

void UnregisterServerInHive(HKEY root) {
    const OurClasses ours;
    MoveSettingsOutOfClassKey(root, ours);
    for (const std::wstring& key : UnregisteredKeys(ours.preview, ours.thumbnail, ThisServersSurrogate())) {
        RegDeleteTreeW(root, key.c_str());
    }
    // The handler keys and the shell's lists serve the other build too while
    // it stays registered; the last one out puts back what was there before.
    if (OtherViewHasOurServer(root, ours)) return;
    UndoHandlerKeys(root, ours);
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
