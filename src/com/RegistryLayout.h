#pragma once
// Everything registration writes below one root key, in the order it is
// written, kept as data: the registration code walks it and the tests read
// every value of it back from the registry.
#include "platform/QuivaneKey.h"

#include <cstdint>
#include <optional>
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
// Below Quivane's own key: the record of the handler values registration replaced.
extern const wchar_t kReplacedHandlersKey[];
// The surrogate Windows gives 32-bit preview handlers on 64-bit Windows.
extern const wchar_t kWow64PreviewSurrogateAppId[];

// Where the preview handler runs: in a preview host of its own (a 64-bit
// server, or any server on 32-bit Windows), or in the one Windows keeps for
// 32-bit handlers on 64-bit Windows.
enum class PreviewSurrogate { OwnHost, Wow64Host };

// The keys below Software\Classes that lead the shell from a file to the handlers.
const std::vector<std::wstring>& FileTypeKeyNames();

std::wstring ClassIdKey(const std::wstring& clsid);

// The in-process server entries of one class, with both isolation values cleared.
std::vector<RegistryStep> InprocServerSteps(const std::wstring& clsid, const std::wstring& modulePath);

// The whole registration of both classes under one root.
std::vector<RegistryStep> RegistrationSteps(const std::wstring& previewClsid, const std::wstring& thumbnailClsid,
                                            const std::wstring& modulePath,
                                            PreviewSurrogate surrogate = PreviewSurrogate::OwnHost);

// The handler key of each file type's preview slot, then its thumbnail slot,
// in the order registration writes them; one of the two classes is theirs.
std::vector<std::wstring> HandlerKeys();
bool IsPreviewHandlerKey(const std::wstring& handlerKey);

// Whether a handler key's value names one of the two classes (in any case).
bool NamesOurClass(const std::wstring& value, const std::wstring& previewClsid, const std::wstring& thumbnailClsid);

// Registering over a handler key whose value is `current` (nullopt: none)
// records that value to be put back, unless a record is already there (the
// first one wins, so our own class is never what comes back) or the value is ours.
bool RecordsReplacedValue(const std::optional<std::wstring>& current, bool alreadyRecorded,
                          const std::wstring& previewClsid, const std::wstring& thumbnailClsid);

// What unregistering does to one handler key: a key naming one of our classes
// gets its recorded value back, or goes when nothing was recorded; a key
// another handler has taken since (or one already gone) is left alone.
enum class HandlerKeyUndo { LeaveAlone, Delete, Restore };
HandlerKeyUndo UndoHandlerKey(const std::optional<std::wstring>& current, bool recorded,
                              const std::wstring& previewClsid, const std::wstring& thumbnailClsid);

// Unregistration removes these class keys with everything below them, in this order ...
std::vector<std::wstring> UnregisteredKeys(const std::wstring& previewClsid, const std::wstring& thumbnailClsid,
                                           PreviewSurrogate surrogate = PreviewSurrogate::OwnHost);
// ... and then these single values.
std::vector<RegistryValueName> UnregisteredValues(const std::wstring& previewClsid, const std::wstring& thumbnailClsid);

} // namespace Quivane
