// Registration through the prefix's own regsvr32, read back value by value
// with the registry API, and then both classes created by COM's activation.
#include "GifBuilder.h"
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "com/Registration.h"
#include "com/RegistryLayout.h"
#include "platform/ServerClasses.h"
#include "preview/PreviewStateMessage.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>
#include <thumbcache.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

std::wstring ServerPath() {
    std::wstring path;
    EXPECT_EQ(ModuleFileName(QuivaneServer(), path), S_OK);
    return path;
}

// regsvr32 as a user runs it; its exit code is 0 when the entry point answered success.
DWORD RunRegsvr32(const std::wstring& arguments) {
    std::wstring command = L"regsvr32.exe /s " + arguments + L" \"" + ServerPath() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return GetLastError() | 0x80000000u;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

StoredValue ReadValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    StoredValue value;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (RegQueryValueExW(opened, valueName, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present = RegQueryValueExW(opened, valueName, nullptr, &value.type, value.bytes.data(), &size) ==
                        ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(opened);
    return value;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

std::vector<BYTE> StringBytes(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

const std::wstring P = RegistryClassIdString(CLSID_QuivanePreviewHandler);
const std::wstring T = RegistryClassIdString(CLSID_QuivaneThumbnailProvider);

// Every value the layout writes is there with its exact type, data and byte count.
void ExpectRegistered(HKEY root, const std::wstring& modulePath, const char* rootName) {
    for (const RegistryStep& step : RegistrationSteps(P, T, modulePath)) {
        if (step.action == RegistryAction::DeleteValue) continue;
        const StoredValue stored = ReadValue(root, step.key, step.valueName);
        SCOPED_TRACE(std::string(rootName) + " " + std::string(step.key.begin(), step.key.end()));
        ASSERT_TRUE(stored.present);
        if (step.action == RegistryAction::WriteDword) {
            EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
            ASSERT_EQ(stored.bytes.size(), 4u);
            DWORD number = 0;
            std::memcpy(&number, stored.bytes.data(), 4);
            EXPECT_EQ(number, step.number);
        } else {
            EXPECT_EQ(stored.type, static_cast<DWORD>(step.action == RegistryAction::WriteExpandString ? REG_EXPAND_SZ
                                                                                                         : REG_SZ));
            EXPECT_EQ(stored.bytes, StringBytes(step.text));
        }
    }
    // The net effect on the isolation values.
    EXPECT_FALSE(ReadValue(root, ClassIdKey(P), L"DisableProcessIsolation").present) << rootName;
    EXPECT_FALSE(ReadValue(root, ClassIdKey(T), L"DisableProcessIsolation").present) << rootName;
    EXPECT_FALSE(ReadValue(root, ClassIdKey(T), L"DisableLowILProcessIsolation").present) << rootName;
}

void ExpectUnregistered(HKEY root, const char* rootName) {
    std::vector<std::wstring> keys = UnregisteredKeys(P, T);
    for (const std::wstring& key : HandlerKeys()) keys.push_back(key);
    keys.push_back(kReplacedHandlersKey);
    for (const std::wstring& key : keys) {
        EXPECT_FALSE(KeyExists(root, key)) << rootName << " " << std::string(key.begin(), key.end());
    }
    for (const RegistryValueName& value : UnregisteredValues(P, T)) {
        EXPECT_FALSE(ReadValue(root, value.key, value.valueName).present) << rootName;
    }
}

void SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD number) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &number, sizeof(number)), ERROR_SUCCESS);
}

void SetString(HKEY root, const std::wstring& key, const std::wstring& text) {
    ASSERT_EQ(WriteRegistryValue(root, key.c_str(), nullptr, text, REG_SZ), S_OK);
}

std::vector<std::uint8_t> SolidGif(std::uint8_t red) {
    return GifBuilder(32, 32, {{0, 0, 0}, {red, 40, 200}}).AddFrame(SolidFrame(0, 0, 32, 32, 1)).Build();
}

// Which module an interface's code lives in.
HMODULE ModuleOf(IUnknown* object) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(*reinterpret_cast<void**>(object)), &module);
    return module;
}

// The preview window of a handler given a window, once it shows its first frame (or after a long wait).
HWND ShowingPreview(IPreviewHandler* handler, TestWindow& host) {
    ComPtr<IOleWindow> oleWindow;
    HWND preview = nullptr;
    if (FAILED(handler->QueryInterface(IID_PPV_ARGS(&oleWindow))) || FAILED(oleWindow->GetWindow(&preview))) {
        return nullptr;
    }
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (SendMessageW(preview, PreviewStateMessage(), 0, 0) != kPreviewStateShowing && GetTickCount64() < deadline) {
        host.PumpMessages();
        Sleep(10);
    }
    return preview;
}

class Registration : public ::testing::Test {
protected:
    void TearDown() override { RunRegsvr32(L"/u"); }
};

} // namespace

TEST_F(Registration, WritesEveryValueUnderBothRoots) {
    ASSERT_EQ(RunRegsvr32(L""), 0u);
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "HKCU");
    ExpectRegistered(HKEY_LOCAL_MACHINE, ServerPath(), "HKLM");
}

TEST_F(Registration, RegisteringAgainClearsStrayIsolationValues) {
    ASSERT_EQ(RunRegsvr32(L""), 0u);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        SetDword(root, ClassIdKey(P), L"DisableProcessIsolation", 1);
        SetDword(root, ClassIdKey(P), L"DisableLowILProcessIsolation", 0);
        SetDword(root, ClassIdKey(T), L"DisableProcessIsolation", 1);
        SetDword(root, ClassIdKey(T), L"DisableLowILProcessIsolation", 1);
        SetString(root, ClassIdKey(T) + L"\\InprocServer32", L"C:\\elsewhere\\old.dll");
    }
    ASSERT_EQ(RunRegsvr32(L""), 0u);
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "HKCU");
    ExpectRegistered(HKEY_LOCAL_MACHINE, ServerPath(), "HKLM");
}

TEST_F(Registration, UnregisteringLeavesAHandlerInstalledAfterUsAndAnswersSuccessTwice) {
    ASSERT_EQ(RunRegsvr32(L""), 0u);
    // Another handler took two of the slots meanwhile: they stay its own.
    const std::wstring otherHandler = L"{11111111-2222-3333-4444-555555555555}";
    const std::wstring gifPreview = std::wstring(L"Software\\Classes\\.gif\\shellex\\") + kPreviewHandlerSlot;
    const std::wstring pngThumbnail =
        std::wstring(L"Software\\Classes\\SystemFileAssociations\\.png\\shellex\\") + kThumbnailHandlerSlot;
    SetString(HKEY_CURRENT_USER, gifPreview, otherHandler);
    SetString(HKEY_LOCAL_MACHINE, pngThumbnail, otherHandler);
    SetString(HKEY_CURRENT_USER, L"Software\\Classes\\.gif\\shellex\\ContextMenuHandlers\\Other", otherHandler);
    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, gifPreview, L"").bytes, StringBytes(otherHandler));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, pngThumbnail, L"").bytes, StringBytes(otherHandler));
    RegDeleteTreeW(HKEY_CURRENT_USER, gifPreview.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, pngThumbnail.c_str());
    ExpectUnregistered(HKEY_CURRENT_USER, "HKCU");
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");
    // The file types and what else hangs below them stay.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\.gif\\shellex\\ContextMenuHandlers\\Other"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\giffile\\shellex"));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\.gif\\shellex\\ContextMenuHandlers\\Other");

    EXPECT_EQ(RunRegsvr32(L"/u"), 0u);
    const auto unregister = ServerExport<HRESULT(WINAPI*)()>(QuivaneServer(), "DllUnregisterServer");
    ASSERT_NE(unregister, nullptr);
    EXPECT_EQ(unregister(), S_OK);
    EXPECT_EQ(unregister(), S_OK);
}

namespace {

// The user's hive stood in for by a scratch key of the test's own, for as
// long as the object lives: registration through DllInstall("user") writes
// there, and so do the test's own reads and writes of HKEY_CURRENT_USER.
class ScratchUserHive {
public:
    ScratchUserHive() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
        ready_ = RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) ==
                     ERROR_SUCCESS &&
                 RegOverridePredefKey(HKEY_CURRENT_USER, key_) == ERROR_SUCCESS;
    }
    ~ScratchUserHive() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kPath);
    }
    bool Ready() const { return ready_; }

private:
    static constexpr const wchar_t* kPath = L"Software\\QuivaneTestRestore";
    HKEY key_ = nullptr;
    bool ready_ = false;
};

HRESULT InstallForUser(bool install) {
    const auto entry = ServerExport<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(QuivaneServer(), "DllInstall");
    return entry == nullptr ? E_NOINTERFACE : entry(install ? TRUE : FALSE, L"user");
}

const std::wstring kOtherThumbnailer = L"{C7657C4A-9F68-40FA-A4DF-96BC08EB3551}";
const std::wstring kOtherPreviewer = L"{0AAAAAAA-1111-2222-3333-444444444444}";

std::wstring HandlerKeyOf(const std::wstring& fileType, const wchar_t* slot) {
    return L"Software\\Classes\\" + fileType + L"\\shellex\\" + slot;
}

} // namespace

TEST_F(Registration, UnregisteringGivesBackTheHandlersRegistrationReplaced) {
    ScratchUserHive hive;
    ASSERT_TRUE(hive.Ready());
    const std::wstring pngThumbnail = HandlerKeyOf(L".png", kThumbnailHandlerSlot);
    const std::wstring gifPreview = HandlerKeyOf(L"giffile", kPreviewHandlerSlot);
    SetString(HKEY_CURRENT_USER, pngThumbnail, kOtherThumbnailer);
    // A value of another type comes back with its type.
    ASSERT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, gifPreview.c_str(), nullptr, kOtherPreviewer, REG_EXPAND_SZ), S_OK);

    ASSERT_EQ(InstallForUser(true), S_OK);
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "scratch");
    ASSERT_EQ(InstallForUser(false), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, pngThumbnail, L"").bytes, StringBytes(kOtherThumbnailer));
    const StoredValue preview = ReadValue(HKEY_CURRENT_USER, gifPreview, L"");
    EXPECT_EQ(preview.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(preview.bytes, StringBytes(kOtherPreviewer));
    // Every other slot is gone, and so is the record and Quivane's key with nothing left in it.
    for (const std::wstring& key : HandlerKeys()) {
        if (key != pngThumbnail && key != gifPreview) {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
        }
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kQuivaneKey));
}

TEST_F(Registration, RegisteringTwiceKeepsTheFirstRecordSoOneUnregistrationRestoresTheOriginal) {
    ScratchUserHive hive;
    ASSERT_TRUE(hive.Ready());
    const std::wstring pngThumbnail = HandlerKeyOf(L".png", kThumbnailHandlerSlot);
    SetString(HKEY_CURRENT_USER, pngThumbnail, kOtherThumbnailer);
    ASSERT_EQ(InstallForUser(true), S_OK);
    ASSERT_EQ(InstallForUser(true), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kReplacedHandlersKey, pngThumbnail).bytes, StringBytes(kOtherThumbnailer));
    ASSERT_EQ(InstallForUser(false), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, pngThumbnail, L"").bytes, StringBytes(kOtherThumbnailer));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kReplacedHandlersKey));
}

TEST_F(Registration, AHandlerInstalledAfterUsKeepsItsKeyAndItsRecordGoes) {
    ScratchUserHive hive;
    ASSERT_TRUE(hive.Ready());
    const std::wstring pngThumbnail = HandlerKeyOf(L".png", kThumbnailHandlerSlot);
    const std::wstring webpPreview = HandlerKeyOf(L".webp", kPreviewHandlerSlot);
    SetString(HKEY_CURRENT_USER, pngThumbnail, kOtherThumbnailer);
    ASSERT_EQ(InstallForUser(true), S_OK);
    const std::wstring later = L"{DDDDDDDD-EEEE-FFFF-0000-111111111111}";
    SetString(HKEY_CURRENT_USER, pngThumbnail, later);
    SetString(HKEY_CURRENT_USER, webpPreview, later);
    ASSERT_EQ(InstallForUser(false), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, pngThumbnail, L"").bytes, StringBytes(later));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, webpPreview, L"").bytes, StringBytes(later));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kReplacedHandlersKey));
}

TEST_F(Registration, AHandDeletedRecordStillUnregistersEverything) {
    ScratchUserHive hive;
    ASSERT_TRUE(hive.Ready());
    const std::wstring pngThumbnail = HandlerKeyOf(L".png", kThumbnailHandlerSlot);
    const std::wstring gifThumbnail = HandlerKeyOf(L".gif", kThumbnailHandlerSlot);
    SetString(HKEY_CURRENT_USER, pngThumbnail, kOtherThumbnailer);
    SetString(HKEY_CURRENT_USER, gifThumbnail, kOtherThumbnailer);
    ASSERT_EQ(InstallForUser(true), S_OK);
    // One record deleted by hand; then the whole record.
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kReplacedHandlersKey, gifThumbnail.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(InstallForUser(false), S_OK);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, pngThumbnail, L"").bytes, StringBytes(kOtherThumbnailer));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, gifThumbnail)); // nothing to give back: ours goes
    RegDeleteTreeW(HKEY_CURRENT_USER, pngThumbnail.c_str());
    ExpectUnregistered(HKEY_CURRENT_USER, "scratch");

    SetString(HKEY_CURRENT_USER, pngThumbnail, kOtherThumbnailer);
    ASSERT_EQ(InstallForUser(true), S_OK);
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kQuivaneKey), ERROR_SUCCESS);
    ASSERT_EQ(InstallForUser(false), S_OK);
    ExpectUnregistered(HKEY_CURRENT_USER, "scratch");
}

TEST_F(Registration, TheFrameBudgetSettingOutlivesUnregistration) {
    ScratchUserHive hive;
    ASSERT_TRUE(hive.Ready());
    ASSERT_EQ(InstallForUser(true), S_OK);
    // Set where it used to live: unregistration takes the class key, not the setting.
    SetDword(HKEY_CURRENT_USER, ClassIdKey(P), L"FrameBudgetMB", 77);
    ASSERT_EQ(InstallForUser(false), S_OK);
    ExpectUnregistered(HKEY_CURRENT_USER, "scratch");
    StoredValue moved = ReadValue(HKEY_CURRENT_USER, kQuivaneKey, L"FrameBudgetMB");
    ASSERT_TRUE(moved.present);
    EXPECT_EQ(moved.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(moved.bytes[0], 77);
    // A setting in its own place stays through another round and wins over an old one.
    ASSERT_EQ(InstallForUser(true), S_OK);
    SetDword(HKEY_CURRENT_USER, ClassIdKey(P), L"FrameBudgetMB", 5);
    ASSERT_EQ(InstallForUser(false), S_OK);
    moved = ReadValue(HKEY_CURRENT_USER, kQuivaneKey, L"FrameBudgetMB");
    ASSERT_TRUE(moved.present);
    EXPECT_EQ(moved.bytes[0], 77);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kReplacedHandlersKey));
}

// A window that counts the shell's change notices it is sent or posted.
constexpr UINT kChangeNotice = WM_APP + 7;
int changeNotices = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kChangeNotice) ++changeNotices;
    return DefWindowProcW(window, message, wParam, lParam);
}

// The notices delivered once at least `wanted` have come (or after a long
// wait), counting those sent straight to the window while the change was
// reported; the count starts again afterwards.
int TakeChangeNotices(HWND window, int wanted) {
    const ULONGLONG until = GetTickCount64() + (wanted > 0 ? 60000 : 500);
    MSG message;
    while (GetTickCount64() < until && (wanted == 0 || changeNotices < wanted)) {
        while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    const int notices = changeNotices;
    changeNotices = 0;
    return notices;
}

TEST_F(Registration, ExplorerIsToldAssociationsChanged) {
    // Listening the way Explorer listens: for association changes anywhere.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuivaneTestChangeListener";
    RegisterClassW(&windowClass);
    HWND listener = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(listener, nullptr);
    PIDLIST_ABSOLUTE desktop = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop), S_OK);
    SHChangeNotifyEntry entry = {desktop, TRUE};
    const ULONG registration = SHChangeNotifyRegister(listener, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                                      SHCNE_ASSOCCHANGED, kChangeNotice, 1, &entry);
    ASSERT_NE(registration, 0u);
    TakeChangeNotices(listener, 0);
    const auto registerServer = ServerExport<HRESULT(WINAPI*)()>(QuivaneServer(), "DllRegisterServer");
    const auto unregisterServer = ServerExport<HRESULT(WINAPI*)()>(QuivaneServer(), "DllUnregisterServer");
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_GE(TakeChangeNotices(listener, 1), 1);
    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_GE(TakeChangeNotices(listener, 1), 1);
    SHChangeNotifyDeregister(registration);
    CoTaskMemFree(desktop);
    DestroyWindow(listener);
}

// A scratch root under the user's hive (made afresh) whose Software\\Classes\\.png
// is volatile, so the registry refuses the lasting keys a registration writes below it.
static HKEY ScratchRootWithVolatilePng(const wchar_t* path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
    HKEY scratch = nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch, nullptr) !=
            ERROR_SUCCESS ||
        RegCreateKeyExW(scratch, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
        if (scratch != nullptr) RegCloseKey(scratch);
        return nullptr;
    }
    RegCloseKey(key);
    if (RegCreateKeyExW(scratch, L"Software\\Classes\\.png", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        RegCloseKey(scratch);
        return nullptr;
    }
    RegCloseKey(key);
    return scratch;
}

TEST_F(Registration, RegistrationStopsAtTheFirstRefusedWrite) {
    // A scratch root whose ".png" key is volatile: the registry refuses the
    // lasting handler keys below it, so registration stops right there.
    const wchar_t scratchPath[] = L"Software\\QuivaneTest";
    const HKEY scratch = ScratchRootWithVolatilePng(scratchPath);
    ASSERT_NE(scratch, nullptr);

    const HRESULT hr = RegisterServerInHive(scratch, L"C:\\x.dll");
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE)) << Hex(hr);
    bool reachedRefusal = false;
    for (const RegistryStep& step : RegistrationSteps(P, T, L"C:\\x.dll")) {
        if (step.action == RegistryAction::DeleteValue) continue;
        if (step.key.find(L"\\.png\\") != std::wstring::npos) reachedRefusal = true;
        // Everything before the refused write is there (nothing is rolled back), nothing after it.
        EXPECT_EQ(ReadValue(scratch, step.key, step.valueName).present, !reachedRefusal)
            << std::string(step.key.begin(), step.key.end());
    }
    UnregisterServerInHive(scratch);
    ExpectUnregistered(scratch, "scratch");
    EXPECT_TRUE(KeyExists(scratch, L"Software\\Classes\\.gif\\shellex"));
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath);
}

// Stands a volatile scratch key in for one of the process's predefined roots:
// the registry refuses the lasting keys registration writes below it, as it
// refuses a user without administrative rights the machine's keys.
class RefusingRoot {
public:
    RefusingRoot(HKEY predefined, const wchar_t* name) : predefined_(predefined), path_(std::wstring(L"Software\\") + name) {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
        overridden_ = key_ != nullptr && RegOverridePredefKey(predefined_, key_) == ERROR_SUCCESS;
    }
    ~RefusingRoot() {
        RegOverridePredefKey(predefined_, nullptr);
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    bool Ready() const { return overridden_; }
    bool Empty() const {
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        return subkeys == 0 && values == 0;
    }

private:
    HKEY predefined_;
    std::wstring path_;
    HKEY key_ = nullptr;
    bool overridden_ = false;
};

TEST_F(Registration, WithoutRightsToTheMachineKeysThePerUserRegistrationStillSucceeds) {
    const auto registerServer = ServerExport<HRESULT(WINAPI*)()>(QuivaneServer(), "DllRegisterServer");
    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    {
        RefusingRoot machine(HKEY_LOCAL_MACHINE, L"QuivaneTestMachine");
        ASSERT_TRUE(machine.Ready());
        EXPECT_EQ(registerServer(), S_OK);
        EXPECT_TRUE(machine.Empty());
    }
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "HKCU");
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");
}

TEST_F(Registration, AFailingPerUserRegistrationIsTheResultAndTheMachineIsNotTried) {
    const auto registerServer = ServerExport<HRESULT(WINAPI*)()>(QuivaneServer(), "DllRegisterServer");
    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    {
        RefusingRoot user(HKEY_CURRENT_USER, L"QuivaneTestUser");
        ASSERT_TRUE(user.Ready());
        EXPECT_EQ(registerServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
        EXPECT_TRUE(user.Empty());
    }
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");
}

// The copy of the server in a folder of its own, let go and removed at the end
// of the test, so that running the test again finds no copy still loaded.
class ServerCopyInLongFolder {
public:
    ServerCopyInLongFolder() {
        wchar_t temp[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, temp) == 0) return;
        std::wstring folder = L"\\\\?\\" + std::wstring(temp) + L"quivane-long-" + std::to_wstring(GetCurrentProcessId());
        folders_.push_back(folder);
        for (int i = 0; i < 8; ++i) {
            folder += L"\\a-rather-long-folder-name-to-pass-the-old-limit-" + std::to_wstring(i);
            folders_.push_back(folder);
        }
        for (const std::wstring& each : folders_) CreateDirectoryW(each.c_str(), nullptr);
        path_ = folder + L"\\Quivane.dll";
    }
    ~ServerCopyInLongFolder() {
        if (module_ != nullptr) FreeLibrary(module_);
        CoFreeUnusedLibraries(); // COM's own load of the copy, once nothing of it is in use
        DeleteFileW(path_.c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
    }
    ServerCopyInLongFolder(const ServerCopyInLongFolder&) = delete;
    ServerCopyInLongFolder& operator=(const ServerCopyInLongFolder&) = delete;

    // Copies the server there and loads the copy; null on failure.
    HMODULE Load() {
        if (path_.empty() || !CopyFileW(ServerPath().c_str(), path_.c_str(), FALSE)) return nullptr;
        module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        return module_;
    }

private:
    std::vector<std::wstring> folders_;
    std::wstring path_;
    HMODULE module_ = nullptr;
};

TEST_F(Registration, AModulePathPastTheOldLimitIsRegisteredWhole) {
    // The server loaded from a folder whose path is far longer than 260 characters.
    ServerCopyInLongFolder copy;
    HMODULE longServer = copy.Load();
    ASSERT_NE(longServer, nullptr) << GetLastError();
    std::wstring modulePath;
    ASSERT_EQ(ModuleFileName(longServer, modulePath), S_OK);
    EXPECT_GT(modulePath.size(), static_cast<size_t>(MAX_PATH));
    const auto registerServer = ServerExport<HRESULT(WINAPI*)()>(longServer, "DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
    // What lands is a whole path COM can read and load from: the short form of the long one.
    const StoredValue stored = ReadValue(HKEY_CURRENT_USER, ClassIdKey(T) + L"\\InprocServer32", L"");
    ASSERT_TRUE(stored.present);
    const std::wstring registered(reinterpret_cast<const wchar_t*>(stored.bytes.data()));
    EXPECT_LT(registered.size(), static_cast<size_t>(MAX_PATH));
    wchar_t longForm[4096] = {};
    ASSERT_NE(GetLongPathNameW(registered.c_str(), longForm, 4096), 0u);
    EXPECT_EQ(std::wstring(longForm), modulePath);
    ComPtr<IThumbnailProvider> provider;
    EXPECT_EQ(CoCreateInstance(CLSID_QuivaneThumbnailProvider, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&provider)),
              S_OK);
    provider.Reset(); // before the copy is let go
}

TEST_F(Registration, ComCreatesBothClassesAndTheyWork) {
    ASSERT_EQ(RunRegsvr32(L""), 0u);

    ComPtr<IThumbnailProvider> provider;
    ASSERT_EQ(CoCreateInstance(CLSID_QuivaneThumbnailProvider, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&provider)),
              S_OK);
    EXPECT_EQ(ModuleOf(provider.Get()), QuivaneServer()); // made by the DLL, not by code linked into this test
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_EQ(provider.As(&initialize), S_OK);
    ASSERT_EQ(initialize->Initialize(StreamFromBytes(SolidGif(220)).Get(), STGM_READ), S_OK);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    const HRESULT made = provider->GetThumbnail(48, &bitmap, &alpha);
    ASSERT_EQ(made, S_OK) << Hex(made);
    DIBSECTION section = {};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, 48);
    const auto* centre = static_cast<const BYTE*>(section.dsBm.bmBits) + (24 * 48 + 24) * 4;
    EXPECT_NEAR(centre[2], 220, 2);
    EXPECT_EQ(centre[3], 255);
    DeleteObject(bitmap);

    ComPtr<IPreviewHandler> handler;
    ASSERT_EQ(CoCreateInstance(CLSID_QuivanePreviewHandler, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&handler)), S_OK);
    EXPECT_EQ(ModuleOf(handler.Get()), QuivaneServer());
    ComPtr<IInitializeWithStream> withStream;
    ASSERT_EQ(handler.As(&withStream), S_OK);
    ASSERT_EQ(withStream->Initialize(StreamFromBytes(SolidGif(60)).Get(), STGM_READ), S_OK);
    TestWindow host(200, 150);
    const RECT area = host.ClientRect();
    ASSERT_EQ(handler->SetWindow(host.Handle(), &area), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
    const HWND preview = ShowingPreview(handler.Get(), host);
    ASSERT_EQ(SendMessageW(preview, PreviewStateMessage(), 0, 0), kPreviewStateShowing);

    // The window prints what it shows: the GIF's colour fills the middle.
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -150, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP printed = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(printed, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, printed);
    SendMessageW(preview, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto* middle = static_cast<const BYTE*>(bits) + (75 * 200 + 100) * 4;
    EXPECT_NEAR(middle[2], 60, 2);
    EXPECT_NEAR(middle[0], 200, 2);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(printed);
    EXPECT_EQ(handler->Unload(), S_OK);
}

namespace {

// Both classes made by COM from the registered server and used once, then let go.
void UseBothClassesThroughCom() {
    ComPtr<IThumbnailProvider> provider;
    ASSERT_EQ(CoCreateInstance(CLSID_QuivaneThumbnailProvider, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&provider)),
              S_OK);
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_EQ(provider.As(&initialize), S_OK);
    ASSERT_EQ(initialize->Initialize(StreamFromBytes(SolidGif(220)).Get(), STGM_READ), S_OK);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    ASSERT_EQ(provider->GetThumbnail(32, &bitmap, &alpha), S_OK);
    DeleteObject(bitmap);

    ComPtr<IPreviewHandler> handler;
    ASSERT_EQ(CoCreateInstance(CLSID_QuivanePreviewHandler, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&handler)), S_OK);
    ComPtr<IInitializeWithStream> withStream;
    ASSERT_EQ(handler.As(&withStream), S_OK);
    ASSERT_EQ(withStream->Initialize(StreamFromBytes(SolidGif(60)).Get(), STGM_READ), S_OK);
    TestWindow host(200, 150);
    const RECT area = host.ClientRect();
    ASSERT_EQ(handler->SetWindow(host.Handle(), &area), S_OK);
    ASSERT_EQ(handler->DoPreview(), S_OK);
    EXPECT_EQ(SendMessageW(ShowingPreview(handler.Get(), host), PreviewStateMessage(), 0, 0), kPreviewStateShowing);
    EXPECT_EQ(handler->Unload(), S_OK);
}

} // namespace

TEST_F(Registration, ComUnloadsTheIdleServerAndLoadsItAgain) {
    // A copy of its own, which nothing but COM loads in this process.
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"quivane-unload";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\Quivane.dll";
    ASSERT_TRUE(CopyFileW(ServerPath().c_str(), copy.c_str(), FALSE)) << GetLastError();
    HMODULE loaded = LoadLibraryExW(copy.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(loaded, nullptr);
    const auto registerServer = ServerExport<HRESULT(WINAPI*)()>(loaded, "DllRegisterServer");
    ASSERT_EQ(registerServer(), S_OK);
    FreeLibrary(loaded);
    ASSERT_EQ(GetModuleHandleW(copy.c_str()), nullptr);

    for (int round = 0; round < 2; ++round) {
        UseBothClassesThroughCom();
        ASSERT_NE(GetModuleHandleW(copy.c_str()), nullptr) << "round " << round;
        CoFreeUnusedLibraries();
        EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr) << "round " << round; // unloaded, and used again next round
    }
}

// The installer's way in: regsvr32 /n /i:HIVE calls DllInstall, which writes
// and removes the rows of the one hive it is given.
TEST_F(Registration, DllInstallRegistersAndRemovesOnlyTheHiveItIsGiven) {
    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    ASSERT_EQ(RunRegsvr32(L"/n /i:user"), 0u);
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "HKCU");
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");

    ASSERT_EQ(RunRegsvr32(L"/n /i:MACHINE"), 0u);
    ExpectRegistered(HKEY_LOCAL_MACHINE, ServerPath(), "HKLM");
    ASSERT_EQ(RunRegsvr32(L"/u /n /i:user"), 0u);
    ExpectUnregistered(HKEY_CURRENT_USER, "HKCU");
    ExpectRegistered(HKEY_LOCAL_MACHINE, ServerPath(), "HKLM");
    ASSERT_EQ(RunRegsvr32(L"/u /n /i:machine"), 0u);
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");

    // An empty command line is the user's hive.
    const auto install = ServerExport<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(QuivaneServer(), "DllInstall");
    ASSERT_NE(install, nullptr);
    ASSERT_EQ(install(TRUE, nullptr), S_OK);
    ExpectRegistered(HKEY_CURRENT_USER, ServerPath(), "HKCU");
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");
}

TEST_F(Registration, DllInstallRefusesAnUnknownHiveAndRollsBackAHalfWrittenOne) {
    ASSERT_EQ(RunRegsvr32(L"/u"), 0u);
    const auto install = ServerExport<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(QuivaneServer(), "DllInstall");
    ASSERT_NE(install, nullptr);
    EXPECT_EQ(install(TRUE, L"everyone"), E_INVALIDARG);
    EXPECT_EQ(install(FALSE, L"everyone"), E_INVALIDARG);
    EXPECT_NE(RunRegsvr32(L"/n /i:everyone"), 0u);
    ExpectUnregistered(HKEY_CURRENT_USER, "HKCU");
    ExpectUnregistered(HKEY_LOCAL_MACHINE, "HKLM");

    // The user's hive stood in for by a scratch key whose ".png" is volatile:
    // the class rows are written, the handler rows below ".png" refused, and
    // what was written is taken away again.
    const wchar_t scratchPath[] = L"Software\\QuivaneTestInstall";
    const HKEY scratch = ScratchRootWithVolatilePng(scratchPath);
    ASSERT_NE(scratch, nullptr);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch), ERROR_SUCCESS);
    const HRESULT hr = install(TRUE, L"user");
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE)) << Hex(hr);
    EXPECT_FALSE(KeyExists(scratch, ClassIdKey(P)));
    EXPECT_FALSE(KeyExists(scratch, ClassIdKey(T)));
    ExpectUnregistered(scratch, "scratch");
    RegCloseKey(scratch);
    RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath);
}
