#pragma once
// Everything registration writes below one root key, in the order it is
// written, kept as data: the registration code walks it and the tests read
// every value of it back from the registry.
#include <cstdint>
#include <string>
#include <vector>

namespace Quivane {

enum class RegistryAction { WriteString, WriteExpandString, WriteDword, DeleteValue };

struct RegistryStep {
    RegistryAction action;
    std::wstring key;        // below the root
    std::wstring valueName;  // empty: the key's default value
    std::wstring text;       // data of the string writes
    std::uint32_t number;    // data of the DWORD write
};

struct RegistryValueName {
    std::wstring key;
    std::wstring valueName;
};

// The shell's handler slots below a file type's shellex key.
extern const wchar_t kPreviewHandlerSlot[];
extern const wchar_t kThumbnailHandlerSlot[];
extern const wchar_t kPreviewHandlersKey[];
extern const wchar_t kApprovedExtensionsKey[];

// The keys below Software\Classes that lead the shell from a file to the handlers.
const std::vector<std::wstring>& FileTypeKeyNames();

std::wstring ClassIdKey(const std::wstring& clsid);

// The in-process server entries of one class, with both isolation values cleared.
std::vector<RegistryStep> InprocServerSteps(const std::wstring& clsid, const std::wstring& modulePath);

// The whole registration of both classes under one root.
std::vector<RegistryStep> RegistrationSteps(const std::wstring& previewClsid, const std::wstring& thumbnailClsid,
                                            const std::wstring& modulePath);

// Unregistration removes these keys with everything below them, in this order ...
std::vector<std::wstring> UnregisteredKeys(const std::wstring& previewClsid, const std::wstring& thumbnailClsid);
// ... and then these single values.
std::vector<RegistryValueName> UnregisteredValues(const std::wstring& previewClsid, const std::wstring& thumbnailClsid);

} // namespace Quivane
