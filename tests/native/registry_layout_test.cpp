#include "com/RegistryLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

using namespace Quivane;

namespace {

const std::wstring P = L"{03403BA1-6A44-4CE8-8BDD-CED5CFA772C9}";
const std::wstring T = L"{79325596-390A-46AA-AAED-BFDED19359BF}";
const std::wstring M = L"C:\\Program Files\\Quivane\\Quivane.dll";

// A registry in memory: key -> value name -> data (text, or the number as text).
struct FakeRegistry {
    std::map<std::wstring, std::map<std::wstring, std::wstring>> keys;

    void Apply(const RegistryStep& step) {
        if (step.action == RegistryAction::DeleteValue) {
            auto key = keys.find(step.key);
            if (key != keys.end()) key->second.erase(step.valueName);
            return;
        }
        keys[step.key][step.valueName] =
            step.action == RegistryAction::WriteDword ? std::to_wstring(step.number) : step.text;
    }
    void DeleteTree(const std::wstring& tree) {
        for (auto key = keys.begin(); key != keys.end();) {
            const bool below = key->first == tree || key->first.rfind(tree + L"\\", 0) == 0;
            key = below ? keys.erase(key) : std::next(key);
        }
    }
    std::optional<std::wstring> Value(const std::wstring& key, const std::wstring& name) const {
        if (!Has(key, name)) return std::nullopt;
        return keys.at(key).at(name);
    }
    // Registration as the server does it: the record first, then the steps.
    void Register() {
        for (const std::wstring& key : HandlerKeys()) {
            if (RecordsReplacedValue(Value(key, L""), Has(kReplacedHandlersKey, key), P, T)) {
                keys[kReplacedHandlersKey][key] = *Value(key, L"");
            }
        }
        for (const RegistryStep& step : RegistrationSteps(P, T, M)) Apply(step);
    }
    void Unregister() {
        for (const std::wstring& tree : UnregisteredKeys(P, T)) DeleteTree(tree);
        for (const std::wstring& key : HandlerKeys()) {
            const std::optional<std::wstring> recorded = Value(kReplacedHandlersKey, key);
            switch (UndoHandlerKey(Value(key, L""), recorded.has_value(), P, T)) {
            case HandlerKeyUndo::Restore: keys[key][L""] = *recorded; break;
            case HandlerKeyUndo::Delete: DeleteTree(key); break;
            case HandlerKeyUndo::LeaveAlone: break;
            }
        }
        DeleteTree(kReplacedHandlersKey);
        for (const RegistryValueName& value : UnregisteredValues(P, T)) {
            auto key = keys.find(value.key);
            if (key != keys.end()) key->second.erase(value.valueName);
        }
    }
    bool Has(const std::wstring& key, const std::wstring& name) const {
        auto found = keys.find(key);
        return found != keys.end() && found->second.count(name) != 0;
    }
};

} // namespace

TEST(RegistryLayout, WritesInTheOrderOfTheTable) {
    const auto steps = RegistrationSteps(P, T, M);
    ASSERT_EQ(steps.size(), 12u + 23u * 2u + 3u);
    const std::wstring pKey = L"Software\\Classes\\CLSID\\" + P;
    const std::wstring tKey = L"Software\\Classes\\CLSID\\" + T;
    EXPECT_EQ(steps[0].key, pKey + L"\\InprocServer32");
    EXPECT_EQ(steps[0].valueName, L"");
    EXPECT_EQ(steps[0].text, M);
    EXPECT_EQ(steps[1].text, L"Apartment");
    EXPECT_EQ(steps[2].action, RegistryAction::DeleteValue);
    EXPECT_EQ(steps[2].valueName, L"DisableLowILProcessIsolation");
    EXPECT_EQ(steps[3].valueName, L"DisableProcessIsolation");
    EXPECT_EQ(steps[4].action, RegistryAction::WriteDword);
    EXPECT_EQ(steps[4].key, pKey);
    EXPECT_EQ(steps[4].number, 1u);
    EXPECT_EQ(steps[5].key, tKey + L"\\InprocServer32");
    EXPECT_EQ(steps[9].key, pKey + L"\\Implemented Categories\\{8895B1C6-B41F-4C1C-A562-0D564250836F}");
    EXPECT_EQ(steps[9].text, L"");
    EXPECT_EQ(steps[10].valueName, L"AppID");
    EXPECT_EQ(steps[10].text, P);
    EXPECT_EQ(steps[11].key, L"Software\\Classes\\AppID\\" + P);
    EXPECT_EQ(steps[11].action, RegistryAction::WriteExpandString);
    EXPECT_EQ(steps[11].text, L"%SystemRoot%\\System32\\prevhost.exe");
    // Each file type's preview slot, then straight after it the same type's thumbnail slot.
    for (size_t i = 0; i < 23; ++i) {
        const RegistryStep& preview = steps[12 + 2 * i];
        const RegistryStep& thumbnail = steps[13 + 2 * i];
        const std::wstring prefix = L"Software\\Classes\\" + FileTypeKeyNames()[i] + L"\\shellex\\";
        EXPECT_EQ(preview.key, prefix + L"{8895B1C6-B41F-4C1C-A562-0D564250836F}");
        EXPECT_EQ(preview.text, P);
        EXPECT_EQ(thumbnail.key, prefix + L"{E357FCCD-A995-4576-B01F-234630154E96}");
        EXPECT_EQ(thumbnail.text, T);
    }
    EXPECT_EQ(steps[58].valueName, P);
    EXPECT_EQ(steps[58].text, L"Quivane");
    EXPECT_EQ(steps[59].text, L"Quivane Preview");
    EXPECT_EQ(steps[60].valueName, T);
    EXPECT_EQ(steps[60].text, L"Quivane Thumbnail");
}

TEST(RegistryLayout, ProgIdsAreOnlyThoseWindowsHas) {
    std::set<std::wstring> progIds;
    for (const std::wstring& name : FileTypeKeyNames()) {
        if (name[0] != L'.' && name.rfind(L"SystemFileAssociations", 0) != 0) progIds.insert(name);
    }
    EXPECT_EQ(progIds, (std::set<std::wstring>{L"giffile", L"pngfile", L"wmvfile"}));
}

TEST(RegistryLayout, RegisteringOverStrayIsolationValuesLeavesOnlyThePreviewHandlersOne) {
    FakeRegistry registry;
    const std::wstring pKey = L"Software\\Classes\\CLSID\\" + P;
    const std::wstring tKey = L"Software\\Classes\\CLSID\\" + T;
    registry.keys[pKey][L"DisableProcessIsolation"] = L"1";
    registry.keys[pKey][L"DisableLowILProcessIsolation"] = L"0";
    registry.keys[tKey][L"DisableProcessIsolation"] = L"1";
    registry.keys[tKey][L"DisableLowILProcessIsolation"] = L"1";
    for (const RegistryStep& step : RegistrationSteps(P, T, M)) registry.Apply(step);
    EXPECT_EQ(registry.keys[pKey][L"DisableLowILProcessIsolation"], L"1");
    EXPECT_FALSE(registry.Has(pKey, L"DisableProcessIsolation"));
    EXPECT_FALSE(registry.Has(tKey, L"DisableProcessIsolation"));
    EXPECT_FALSE(registry.Has(tKey, L"DisableLowILProcessIsolation"));
}

TEST(RegistryLayout, UnregisteringRemovesEverythingWrittenButTheFileTypesAndLists) {
    FakeRegistry registry;
    registry.keys[L"Software\\Classes\\.gif\\shellex\\ContextMenuHandlers"][L""] = L"kept";
    registry.keys[std::wstring(kApprovedExtensionsKey)][L"{SOMEONE-ELSE}"] = L"kept";
    registry.Register();
    EXPECT_FALSE(registry.keys.count(kReplacedHandlersKey)); // nothing was there to record
    registry.Unregister();
    for (const RegistryStep& step : RegistrationSteps(P, T, M)) {
        if (step.action != RegistryAction::DeleteValue) EXPECT_FALSE(registry.Has(step.key, step.valueName));
    }
    EXPECT_TRUE(registry.Has(L"Software\\Classes\\.gif\\shellex\\ContextMenuHandlers", L""));
    EXPECT_TRUE(registry.Has(kApprovedExtensionsKey, L"{SOMEONE-ELSE}"));
    EXPECT_TRUE(registry.keys.count(kPreviewHandlersKey)); // the list itself stays
}

TEST(RegistryLayout, HandlerKeysAreThoseRegistrationWritesWithTheirClass) {
    const auto keys = HandlerKeys();
    ASSERT_EQ(keys.size(), 46u);
    const auto steps = RegistrationSteps(P, T, M);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(steps[12 + i].key, keys[i]);
        EXPECT_EQ(IsPreviewHandlerKey(keys[i]), i % 2 == 0);
        EXPECT_EQ(steps[12 + i].text, i % 2 == 0 ? P : T);
    }
}

TEST(RegistryLayout, OnlyAnotherHandlersValueIsRecordedAndOnlyOnce) {
    const std::wstring lowerP = L"{03403ba1-6a44-4ce8-8bdd-ced5cfa772c9}";
    EXPECT_TRUE(NamesOurClass(lowerP, P, T));
    EXPECT_TRUE(NamesOurClass(T, P, T));
    EXPECT_FALSE(NamesOurClass(P + L" ", P, T));
    EXPECT_TRUE(RecordsReplacedValue(std::wstring(L"{OTHER}"), false, P, T));
    EXPECT_TRUE(RecordsReplacedValue(std::wstring(), false, P, T)); // an empty value is still a value
    EXPECT_FALSE(RecordsReplacedValue(std::wstring(L"{OTHER}"), true, P, T));
    EXPECT_FALSE(RecordsReplacedValue(lowerP, false, P, T));
    EXPECT_FALSE(RecordsReplacedValue(std::nullopt, false, P, T));

    EXPECT_EQ(UndoHandlerKey(P, true, P, T), HandlerKeyUndo::Restore);
    EXPECT_EQ(UndoHandlerKey(lowerP, false, P, T), HandlerKeyUndo::Delete);
    EXPECT_EQ(UndoHandlerKey(std::wstring(L"{LATER}"), true, P, T), HandlerKeyUndo::LeaveAlone);
    EXPECT_EQ(UndoHandlerKey(std::nullopt, true, P, T), HandlerKeyUndo::LeaveAlone);
}

TEST(RegistryLayout, UnregisteringGivesBackWhatRegisteringReplacedAndLeavesWhatCameLater) {
    const std::wstring gifPreview = HandlerKeys()[0];
    const std::wstring gifThumbnail = HandlerKeys()[1];
    const std::wstring pngThumbnail = HandlerKeys()[3];
    FakeRegistry registry;
    registry.keys[gifPreview][L""] = L"{BEFORE-PREVIEW}";
    registry.keys[gifThumbnail][L""] = L"{BEFORE-THUMBNAIL}";
    registry.Register();
    registry.Register(); // the second registration finds our class and keeps the first record
    EXPECT_EQ(registry.Value(gifPreview, L""), P);
    registry.keys[pngThumbnail][L""] = L"{LATER}";
    registry.Unregister();
    EXPECT_EQ(registry.Value(gifPreview, L""), L"{BEFORE-PREVIEW}");
    EXPECT_EQ(registry.Value(gifThumbnail, L""), L"{BEFORE-THUMBNAIL}");
    EXPECT_EQ(registry.Value(pngThumbnail, L""), L"{LATER}");
    EXPECT_FALSE(registry.keys.count(HandlerKeys()[2]));
    EXPECT_FALSE(registry.keys.count(kReplacedHandlersKey));
}

TEST(RegistryLayout, A32BitServerOn64BitWindowsRunsInTheSystemsSurrogate) {
    const auto steps = RegistrationSteps(P, T, M, PreviewSurrogate::Wow64Host);
    ASSERT_EQ(steps.size(), 11u + 23u * 2u + 3u);
    EXPECT_EQ(steps[10].valueName, L"AppID");
    EXPECT_EQ(steps[10].text, L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}");
    for (const RegistryStep& step : steps) EXPECT_EQ(step.key.find(L"AppID"), std::wstring::npos);
    const auto removed = UnregisteredKeys(P, T, PreviewSurrogate::Wow64Host);
    EXPECT_EQ(removed, (std::vector<std::wstring>{L"Software\\Classes\\CLSID\\" + P, L"Software\\Classes\\CLSID\\" + T}));
}
