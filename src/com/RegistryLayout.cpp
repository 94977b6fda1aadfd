#include "RegistryLayout.h"

#include "formats/FormatTable.h"

namespace Quivane {

const wchar_t kPreviewHandlerSlot[] = L"{8895B1C6-B41F-4C1C-A562-0D564250836F}";
const wchar_t kThumbnailHandlerSlot[] = L"{E357FCCD-A995-4576-B01F-234630154E96}";
const wchar_t kPreviewHandlersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
const wchar_t kApprovedExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kReplacedHandlersKey[] = L"Software\\Quivane\\Replaced";
const wchar_t kWow64PreviewSurrogateAppId[] = L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}";

namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kLowIlIsolation[] = L"DisableLowILProcessIsolation";
const wchar_t kProcessIsolation[] = L"DisableProcessIsolation";

RegistryStep Write(std::wstring key, std::wstring valueName, std::wstring text,
                   RegistryAction action = RegistryAction::WriteString) {
    return RegistryStep{action, std::move(key), std::move(valueName), std::move(text), 0};
}

RegistryStep Delete(std::wstring key, std::wstring valueName) {
    return RegistryStep{RegistryAction::DeleteValue, std::move(key), std::move(valueName), {}, 0};
}

std::wstring HandlerKey(const std::wstring& fileType, const wchar_t* slot) {
    return kClasses + fileType + L"\\shellex\\" + slot;
}

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

} // namespace

const std::vector<std::wstring>& FileTypeKeyNames() {
    // Every extension of every format, then the same under SystemFileAssociations,
    // then the system's ProgIDs (not every format has one).
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> keys;
        for (const FormatRow& format : Formats()) {
            for (std::wstring_view extension : format.extensions) keys.emplace_back(extension);
        }
        for (const FormatRow& format : Formats()) {
            for (std::wstring_view extension : format.extensions) {
                keys.push_back(L"SystemFileAssociations\\" + std::wstring(extension));
            }
        }
        for (const FormatRow& format : Formats()) {
            if (format.progId != nullptr) keys.emplace_back(format.progId);
        }
        return keys;
    }();
    return names;
}

std::wstring ClassIdKey(const std::wstring& clsid) { return kClasses + std::wstring(L"CLSID\\") + clsid; }

std::vector<RegistryStep> InprocServerSteps(const std::wstring& clsid, const std::wstring& modulePath) {
    const std::wstring key = ClassIdKey(clsid);
    return {Write(key + L"\\InprocServer32", L"", modulePath),
            Write(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
            Delete(key, kLowIlIsolation),
            Delete(key, kProcessIsolation)};
}

std::vector<RegistryStep> RegistrationSteps(const std::wstring& previewClsid, const std::wstring& thumbnailClsid,
                                            const std::wstring& modulePath, PreviewSurrogate surrogate) {
    std::vector<RegistryStep> steps = InprocServerSteps(previewClsid, modulePath);
    const std::wstring previewKey = ClassIdKey(previewClsid);
    // The preview handler runs in the preview host at the user's integrity level.
    steps.push_back(RegistryStep{RegistryAction::WriteDword, previewKey, kLowIlIsolation, {}, 1});
    for (RegistryStep& step : InprocServerSteps(thumbnailClsid, modulePath)) steps.push_back(std::move(step));
    steps.push_back(Write(previewKey + L"\\Implemented Categories\\" + kPreviewHandlerSlot, L"", L""));
    if (surrogate == PreviewSurrogate::Wow64Host) {
        steps.push_back(Write(previewKey, L"AppID", kWow64PreviewSurrogateAppId));
    } else {
        steps.push_back(Write(previewKey, L"AppID", previewClsid));
        steps.push_back(Write(kClasses + std::wstring(L"AppID\\") + previewClsid, L"DllSurrogate",
                              L"%SystemRoot%\\System32\\prevhost.exe", RegistryAction::WriteExpandString));
    }
    for (const std::wstring& key : HandlerKeys()) {
        steps.push_back(Write(key, L"", IsPreviewHandlerKey(key) ? previewClsid : thumbnailClsid));
    }
    steps.push_back(Write(kPreviewHandlersKey, previewClsid, L"Quivane"));
    steps.push_back(Write(kApprovedExtensionsKey, previewClsid, L"Quivane Preview"));
    steps.push_back(Write(kApprovedExtensionsKey, thumbnailClsid, L"Quivane Thumbnail"));
    return steps;
}

std::vector<std::wstring> HandlerKeys() {
    std::vector<std::wstring> keys;
    for (const std::wstring& fileType : FileTypeKeyNames()) {
        keys.push_back(HandlerKey(fileType, kPreviewHandlerSlot));
        keys.push_back(HandlerKey(fileType, kThumbnailHandlerSlot));
    }
    return keys;
}

bool IsPreviewHandlerKey(const std::wstring& handlerKey) {
    const std::wstring slot = kPreviewHandlerSlot;
    return handlerKey.size() >= slot.size() && SameIgnoringAsciiCase(handlerKey.substr(handlerKey.size() - slot.size()), slot);
}

bool NamesOurClass(const std::wstring& value, const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    return SameIgnoringAsciiCase(value, previewClsid) || SameIgnoringAsciiCase(value, thumbnailClsid);
}

bool RecordsReplacedValue(const std::optional<std::wstring>& current, bool alreadyRecorded,
                          const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    return current.has_value() && !alreadyRecorded && !NamesOurClass(*current, previewClsid, thumbnailClsid);
}

HandlerKeyUndo UndoHandlerKey(const std::optional<std::wstring>& current, bool recorded,
                              const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    if (!current.has_value() || !NamesOurClass(*current, previewClsid, thumbnailClsid)) return HandlerKeyUndo::LeaveAlone;
    return recorded ? HandlerKeyUndo::Restore : HandlerKeyUndo::Delete;
}

std::vector<std::wstring> UnregisteredKeys(const std::wstring& previewClsid, const std::wstring& thumbnailClsid,
                                           PreviewSurrogate surrogate) {
    std::vector<std::wstring> keys{ClassIdKey(previewClsid), ClassIdKey(thumbnailClsid)};
    // The 32-bit surrogate is Windows' own; only our own host's key is ours to remove.
    if (surrogate == PreviewSurrogate::OwnHost) keys.push_back(kClasses + std::wstring(L"AppID\\") + previewClsid);
    return keys;
}

std::vector<RegistryValueName> UnregisteredValues(const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    return {{kPreviewHandlersKey, previewClsid},
            {kApprovedExtensionsKey, previewClsid},
            {kApprovedExtensionsKey, thumbnailClsid}};
}

} // namespace Quivane
