// quivane.exe: shows what the library's frame sources and COM objects produce.
// `quivane help` lists the commands and every option; each command's own
// usage comes from the table its file keeps (see CommandLine.h).
#include "CommandLine.h"
#include "Console.h"
#include "Failure.h"
#include "platform/Failure.h"
#include "FramesCommand.h"
#include "PreviewCommand.h"
#include "RegisterCommand.h"
#include "StatusCommand.h"
#include "ThumbnailCommand.h"

#include <windows.h>
#include <objbase.h>

#include <exception>
#include <string>
#include <vector>

namespace {

using namespace QuivaneTool;

struct Command {
    const CommandInfo& (*info)();
    int (*run)(const ParsedLine&);
};

const Command kCommands[] = {
    {FramesCommandInfo, RunFramesCommand},
    {PreviewCommandInfo, RunPreviewCommand},
    {ThumbnailCommandInfo, RunThumbnailCommand},
    {RegisterCommandInfo, RunRegisterCommand},
    {StatusCommandInfo, RunStatusCommand},
};

const Command* FindCommand(const std::wstring& name) {
    for (const Command& command : kCommands) {
        if (name == command.info().name) return &command;
    }
    return nullptr;
}

bool IsHelpWord(const std::wstring& word) { return word == L"-h" || word == L"--help" || word == L"help"; }

std::wstring ToolUsage() {
    std::wstring text = L"quivane: the host tool of Quivane.dll\n"
                        L"usage: quivane COMMAND [ARGS]   (quivane help COMMAND, quivane COMMAND --help)\n\n";
    for (const Command& command : kCommands) text += CommandUsage(command.info()) + L"\n";
    text += L"exit codes: 0 done, 1 a file (or the platform) failed, 2 a wrong command line\n";
    return text;
}

int ToolUsageError(const std::wstring& reason) {
    WriteError(L"error: " + reason + L"\n" + ToolUsage());
    return kExitUsage;
}

int RunCommand(const Command& command, const std::vector<std::wstring>& args) {
    ParsedLine line;
    std::wstring reason;
    if (!ParseCommandLine(command.info(), args, line, reason)) return ReportUsageError(command.info(), reason);
    if (line.help) {
        WriteOut(CommandUsage(command.info()));
        return kExitOk;
    }
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return ReportFailure(L"cannot start COM", hr);
    Quivane::ResetFailureRecord(); // the command's failures are told with where they began
    const int result = command.run(line);
    // The console writes are unbuffered: nothing told is lost.
    if (ToldOfALoadThatTookTooLong()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    CoUninitialize();
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty()) return ToolUsageError(L"no command given");
    try {
        if (IsHelpWord(args[0])) {
            if (args.size() == 1) {
                WriteOut(ToolUsage());
                return kExitOk;
            }
            if (args.size() > 2) return ToolUsageError(L"help takes one command name");
            const Command* command = FindCommand(args[1]);
            if (command == nullptr) return ToolUsageError(L"help: no command \"" + args[1] + L"\"");
            WriteOut(CommandUsage(command->info()));
            return kExitOk;
        }
        const Command* command = FindCommand(args[0]);
        if (command == nullptr) return ToolUsageError(L"unknown command \"" + args[0] + L"\"");
        return RunCommand(*command, std::vector<std::wstring>(args.begin() + 1, args.end()));
    } catch (const std::exception&) {
        return ReportFailure(L"out of memory", E_OUTOFMEMORY);
    }
}
