#include "RegistryLayout.h"

#include "renderers/FormatTable.h"

namespace Quivane {

const wchar_t kPreviewHandlerSlot[] = L"{8895B1C6-B41F-4C1C-A562-0D564250836F}";
const wchar_t kThumbnailHandlerSlot[] = L"{E357FCCD-A995-4576-B01F-234630154E96}";
const wchar_t kPreviewHandlersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
const wchar_t kApprovedExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

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
                                            const std::wstring& modulePath) {
    std::vector<RegistryStep> steps = InprocServerSteps(previewClsid, modulePath);
    const std::wstring previewKey = ClassIdKey(previewClsid);
    // The preview handler runs in the preview host at the user's integrity level.
    steps.push_back(RegistryStep{RegistryAction::WriteDword, previewKey, kLowIlIsolation, {}, 1});
    for (RegistryStep& step : InprocServerSteps(thumbnailClsid, modulePath)) steps.push_back(std::move(step));
    steps.push_back(Write(previewKey + L"\\Implemented Categories\\" + kPreviewHandlerSlot, L"", L""));
    steps.push_back(Write(previewKey, L"AppID", previewClsid));
    steps.push_back(Write(kClasses + std::wstring(L"AppID\\") + previewClsid, L"DllSurrogate",
                          L"%SystemRoot%\\System32\\prevhost.exe", RegistryAction::WriteExpandString));
    for (const std::wstring& fileType : FileTypeKeyNames()) {
        steps.push_back(Write(HandlerKey(fileType, kPreviewHandlerSlot), L"", previewClsid));
        steps.push_back(Write(HandlerKey(fileType, kThumbnailHandlerSlot), L"", thumbnailClsid));
    }
    steps.push_back(Write(kPreviewHandlersKey, previewClsid, L"Quivane"));
    steps.push_back(Write(kApprovedExtensionsKey, previewClsid, L"Quivane Preview"));
    steps.push_back(Write(kApprovedExtensionsKey, thumbnailClsid, L"Quivane Thumbnail"));
    return steps;
}

std::vector<std::wstring> UnregisteredKeys(const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    std::vector<std::wstring> keys;
    for (const std::wstring& fileType : FileTypeKeyNames()) {
        keys.push_back(HandlerKey(fileType, kPreviewHandlerSlot));
        keys.push_back(HandlerKey(fileType, kThumbnailHandlerSlot));
    }
    keys.push_back(ClassIdKey(previewClsid));
    keys.push_back(ClassIdKey(thumbnailClsid));
    keys.push_back(kClasses + std::wstring(L"AppID\\") + previewClsid);
    return keys;
}

std::vector<RegistryValueName> UnregisteredValues(const std::wstring& previewClsid, const std::wstring& thumbnailClsid) {
    return {{kPreviewHandlersKey, previewClsid},
            {kApprovedExtensionsKey, previewClsid},
            {kApprovedExtensionsKey, thumbnailClsid}};
}

} // namespace Quivane
