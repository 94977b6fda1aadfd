#include "ReplacedHandlers.h"

#include "RegistryLayout.h"
#include "platform/HResult.h"
#include "platform/OwnedHandles.h"

#include <optional>
#include <vector>

namespace Quivane {

namespace {

HRESULT FromWin32(LSTATUS status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

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



bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 1, values = 1;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

} // namespace

// Before registration takes the handler keys over, what they held is kept under Replaced.
HRESULT RecordReplacedHandlers(HKEY root, const ServerClassIds& ours) {
    for (const std::wstring& key : HandlerKeys()) {
        const std::optional<RawValue> current = ReadRawValue(root, key, nullptr, 0);
        const bool recorded = ReadRawValue(root, kReplacedHandlersKey, key.c_str(), kQuivaneKeyView).has_value();
        if (RecordsReplacedValue(HandlerText(current), recorded, ours.preview, ours.thumbnail)) {
            RETURN_IF_FAILED(WriteRawValue(root, kReplacedHandlersKey, key.c_str(), *current, kQuivaneKeyView));
        }
    }
    return S_OK;
}


// Each handler key that still names our class gets back what it held; the
// record goes, and Quivane's key with it when no setting is left in it.
void GiveBackReplacedHandlers(HKEY root, const ServerClassIds& ours) {
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
void MoveSettingsOutOfClassKey(HKEY root, const ServerClassIds& ours) {
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

bool OtherViewHasServer(HKEY root, const ServerClassIds& ours) {
    const REGSAM other = OtherRegistryView();
    if (other == 0) return false;
    return ReadRawValue(root, ClassIdKey(ours.preview) + L"\\InprocServer32", nullptr, other).has_value() ||
           ReadRawValue(root, ClassIdKey(ours.thumbnail) + L"\\InprocServer32", nullptr, other).has_value();
}

} // namespace Quivane
