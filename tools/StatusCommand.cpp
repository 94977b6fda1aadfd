#include "StatusCommand.h"

#include "Console.h"
#include "Failure.h"
#include "HandlerLookup.h"
#include "Machines.h"
#include "com/RegistryLayout.h"
#include "com/Registration.h"
#include "platform/ServerClasses.h"
#include "formats/FormatTable.h"

#include <objbase.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

namespace {

struct View {
    REGSAM flag;        // 0: this process's own view
    const wchar_t* name;
    bool native;        // the view this process's COM loads servers from
};

struct ServerClass {
    const CLSID* clsid;
    const wchar_t* what;
    const IID* iid;
};

const ServerClass kPreview = {&Quivane::CLSID_QuivanePreviewHandler, L"preview handler", &__uuidof(IPreviewHandler)};
const ServerClass kThumbnail = {&Quivane::CLSID_QuivaneThumbnailProvider, L"thumbnail provider",
                                &__uuidof(IThumbnailProvider)};

const wchar_t kReinstall[] = L"run the setup program again (or `quivane register`)";

class Report {
public:
    void Line(const std::wstring& text) { WriteOut(text + L"\n"); }
    void Problem(const std::wstring& text) {
        problems_.push_back(text);
    }
    int Finish() {
        for (const std::wstring& problem : problems_) WriteOut(L"problem: " + problem + L"\n");
        if (problems_.empty()) {
            WriteOut(L"Quivane handles every type, and its classes load\n");
            return kExitOk;
        }
        WriteOut(std::to_wstring(problems_.size()) + (problems_.size() == 1 ? L" problem\n" : L" problems\n"));
        return kExitFailed;
    }

private:
    std::vector<std::wstring> problems_;
};

std::vector<View> ViewsOfThisSystem() {
#ifdef _WIN64
    return {{0, L"64-bit", true}, {KEY_WOW64_32KEY, L"32-bit", false}};
#else
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        return {{0, L"32-bit", true}, {KEY_WOW64_64KEY, L"64-bit", false}};
    }
    return {{0, L"32-bit", true}};
#endif
}

std::wstring Expanded(const std::wstring& path) {
    const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    return ExpandEnvironmentStringsW(path.c_str(), buffer.data(), needed + 1) != 0 ? std::wstring(buffer.data()) : path;
}

std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"no version";
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
        return L"no version";
    }
    return L"version " + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS));
}

// What a class key says about itself: its name and its server.
std::wstring DescribeClass(const std::wstring& clsid, REGSAM view) {
    std::wstring text = clsid;
    const auto name = ReadClassesString(L"CLSID\\" + clsid, nullptr, view);
    if (name.has_value()) text += L" \"" + *name + L"\"";
    const auto server = ReadClassesString(L"CLSID\\" + clsid + L"\\InprocServer32", nullptr, view);
    text += server.has_value() ? L" (" + Expanded(*server) + L")" : L" (no server registered in this view)";
    return text;
}

// Each slot of each type: the class Explorer would use, and whether it is ours.
void ReportSlots(const View& view, Report& report) {
    const std::wstring preview = Quivane::RegistryClassIdString(Quivane::CLSID_QuivanePreviewHandler);
    const std::wstring thumbnail = Quivane::RegistryClassIdString(Quivane::CLSID_QuivaneThumbnailProvider);
    for (const Quivane::FormatRow& format : Quivane::Formats()) {
        for (std::wstring_view extensionView : format.extensions) {
            const std::wstring extension(extensionView);
            const struct {
                const wchar_t* slot;
                const wchar_t* name;
                const std::wstring& ours;
            } slots[] = {{Quivane::kPreviewHandlerSlot, L"preview", preview},
                         {Quivane::kThumbnailHandlerSlot, L"thumbnail", thumbnail}};
            for (const auto& slot : slots) {
                const HandlerChoice choice = ResolveHandler(extension, slot.slot, view.flag);
                std::wstring line = L"  " + extension;
                line.resize(9, L' ');
                line += slot.name;
                line.resize(20, L' ');
                const std::wstring where = std::wstring(view.name) + L" view";
                if (choice.clsid.empty()) {
                    report.Line(line + L"none");
                    report.Problem(extension + L" " + slot.name + L" (" + where + L"): no handler at all; " + kReinstall);
                } else if (Quivane::NamesOurClass(choice.clsid, preview, thumbnail)) {
                    const bool right = Quivane::NamesOurClass(choice.clsid, slot.ours, slot.ours);
                    report.Line(line + L"ours     " + choice.clsid + L" from " + choice.foundAt);
                    if (!right) {
                        report.Problem(extension + L" " + slot.name + L" (" + where + L"): names our other class " +
                                       choice.clsid + L" at " + choice.foundAt + L"; " + kReinstall);
                    }
                } else {
                    const std::wstring other = DescribeClass(choice.clsid, view.flag);
                    report.Line(line + L"other    " + other + L" from " + choice.foundAt);
                    report.Problem(extension + L" " + slot.name + L" (" + where + L"): Explorer uses another handler, " +
                                   other + L", named at " + choice.foundAt + L"; to use Quivane's, " + kReinstall +
                                   L", or remove that key");
                }
            }
        }
    }
}

// Where one of our classes points, whether the file is there, and (in this
// process's own view) whether COM makes the object from it.
void ReportServerClass(const ServerClass& server, const View& view, Report& report) {
    const std::wstring clsid = Quivane::RegistryClassIdString(*server.clsid);
    const std::wstring where = std::wstring(view.name) + L" view";
    std::wstring foundAt;
    const auto registered = ReadClassesString(L"CLSID\\" + clsid + L"\\InprocServer32", nullptr, view.flag, &foundAt);
    std::wstring line = std::wstring(L"  ") + server.what + L" " + clsid + L": ";
    if (!registered.has_value()) {
        report.Line(line + L"not registered");
        report.Problem(std::wstring(L"the ") + server.what + L" " + clsid + L" is not registered (" + where + L"); " +
                       kReinstall);
        return;
    }
    const std::wstring path = Expanded(*registered);
    const bool exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    const USHORT machine = FileMachine(path);
    line += path + L" (" + (exists ? FileVersion(path) + L", " + MachineName(machine) + L", present" : std::wstring(L"missing")) +
            L", from " + foundAt + L")";
    if (!exists) {
        report.Line(line);
        report.Problem(std::wstring(L"the ") + server.what + L"'s DLL is missing at " + path + L" (" + where +
                       L"); it was moved or deleted: run the setup program again, or `quivane register` beside the DLL where it is now");
        return;
    }
    // This process's view's programs load only their own processor's DLLs: on
    // Windows on ARM, Explorer an ARM64 one; in the 32-bit view, an x86 one.
    const USHORT needed = MachineForView(std::wstring(view.name) == L"32-bit");
    if (view.native && machine != needed) {
        report.Problem(std::wstring(L"the ") + server.what + L"'s DLL at " + path + L" is the " + MachineName(machine) +
                       L" build, but the " + where + L" of this " + MachineName(NativeMachine()) + L" machine needs the " +
                       MachineName(needed) + L" build; " + kReinstall);
    }
    if (!view.native) {
        report.Line(line);
        return;
    }
    ComPtr<IUnknown> object;
    const HRESULT created =
        CoCreateInstance(*server.clsid, nullptr, CLSCTX_INPROC_SERVER, *server.iid, reinterpret_cast<void**>(object.GetAddressOf()));
    report.Line(line + (SUCCEEDED(created) ? L", loads" : L", does not load: " + DescribeHResult(created)));
    if (FAILED(created)) {
        report.Problem(std::wstring(L"the ") + server.what + L" cannot be created from " + path + L": " +
                       DescribeHResult(created) + L"; reinstall with the setup program");
    }
}

bool ViewHasOurClasses(const View& view) {
    for (const ServerClass* server : {&kPreview, &kThumbnail}) {
        const std::wstring clsid = Quivane::RegistryClassIdString(*server->clsid);
        if (ReadClassesString(L"CLSID\\" + clsid + L"\\InprocServer32", nullptr, view.flag).has_value()) return true;
    }
    return false;
}

void ReportPlatform(Report& report) {
    // Media Foundation decodes every video; Windows' N editions come without it.
    const HMODULE mediaFoundation = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const bool hasMediaFoundation =
        mediaFoundation != nullptr && GetProcAddress(mediaFoundation, "MFStartup") != nullptr;
    if (mediaFoundation != nullptr) FreeLibrary(mediaFoundation);
    report.Line(std::wstring(L"Media Foundation: ") + (hasMediaFoundation ? L"present" : L"missing"));
    if (!hasMediaFoundation) {
        report.Problem(L"Media Foundation is missing (a Windows N edition?): videos get no preview or thumbnail; "
                       L"install the Media Feature Pack (Settings, Apps, Optional features)");
    }

    // WebP pictures are decoded inside Quivane.dll: nothing of the system's to check.
    report.Line(L"WebP decoder: built in");
}

} // namespace

const CommandInfo& StatusCommandInfo() {
    static const CommandInfo info = {
        L"status",
        {},
        L"what Explorer uses for each type's preview and thumbnail, and whether Quivane's classes load",
        {},
        {L"exit 0 when every type's preview and thumbnail are Quivane's and load; 1 with one line per problem"}};
    return info;
}

int RunStatusCommand(const ParsedLine&) {
    Report report;
    report.Line(L"machine: " + MachineName(NativeMachine()) + L", this tool: " + MachineName(ToolMachine()));
    for (const View& view : ViewsOfThisSystem()) {
        if (!view.native && !ViewHasOurClasses(view)) {
            report.Line(std::wstring(view.name) + L" view: Quivane is not registered; " +
                        (view.flag == KEY_WOW64_32KEY ? L"32-bit programs' Open and Save dialogs show no previews or "
                                                        L"thumbnails from it (the setup program installs both builds)"
                                                      : L"64-bit programs, Explorer among them, do not use it"));
            continue;
        }
        report.Line(std::wstring(view.name) + L" view:");
        ReportSlots(view, report);
        ReportServerClass(kPreview, view, report);
        ReportServerClass(kThumbnail, view, report);
    }
    ReportPlatform(report);
    return report.Finish();
}

} // namespace QuivaneTool
