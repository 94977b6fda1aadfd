#include "CommandLine.h"

#include "Console.h"
#include "Failure.h"

#include <cerrno>
#include <cmath>
#include <cwchar>

namespace QuivaneTool {

namespace {

constexpr size_t kHelpColumn = 24; // where the options' explanations start

const OptionInfo* FindOption(const CommandInfo& command, const std::wstring& name) {
    for (const OptionInfo& option : command.options) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

} // namespace

const std::wstring* ParsedLine::Value(const wchar_t* option) const {
    const auto found = options.find(option);
    return found == options.end() ? nullptr : &found->second;
}

bool ParseCommandLine(const CommandInfo& command, const std::vector<std::wstring>& args, ParsedLine& line,
                      std::wstring& reason) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != L'-') {
            if (line.operands.size() >= command.operands.size()) {
                reason = L"unexpected argument \"" + arg + L"\"";
                return false;
            }
            line.operands.push_back(arg);
        } else if (arg == L"--") {
            optionsEnded = true;
        } else if (arg == L"-h" || arg == L"--help") {
            line.help = true;
        } else if (const OptionInfo* option = FindOption(command, arg)) {
            if (option->value == nullptr) {
                line.options[arg] = L"";
            } else if (i + 1 >= args.size()) {
                reason = arg + L" needs a value (" + option->value + L")";
                return false;
            } else {
                line.options[arg] = args[++i];
            }
        } else {
            reason = L"unknown option " + arg;
            return false;
        }
    }
    if (!line.help && line.operands.size() < command.operands.size()) {
        reason = std::wstring(L"missing ") + command.operands[line.operands.size()];
        return false;
    }
    return true;
}

std::wstring CommandUsage(const CommandInfo& command) {
    std::wstring text = std::wstring(L"usage: quivane ") + command.name;
    for (const wchar_t* operand : command.operands) text += std::wstring(L" ") + operand;
    for (const OptionInfo& option : command.options) {
        text += std::wstring(L" [") + option.name + (option.value ? std::wstring(L" ") + option.value : L"") + L"]";
    }
    text += std::wstring(L"\n  ") + command.summary + L"\n";
    const auto explain = [&text](const std::wstring& option, const wchar_t* help) {
        std::wstring left = L"  " + option;
        if (left.size() < kHelpColumn) left.resize(kHelpColumn, L' ');
        text += left + L" " + help + L"\n";
    };
    for (const OptionInfo& option : command.options) {
        explain(option.name + (option.value ? std::wstring(L" ") + option.value : L""), option.help);
    }
    explain(L"-h, --help", L"this usage");
    for (const std::wstring& note : command.notes) text += L"  " + note + L"\n";
    return text;
}

int ReportUsageError(const CommandInfo& command, const std::wstring& reason) {
    WriteError(std::wstring(L"error: ") + command.name + L": " + reason + L"\n" + CommandUsage(command));
    return kExitUsage;
}

bool ReadWholeNumber(const std::wstring& text, long minimum, long maximum, long& value) {
    if (text.empty() || !(iswdigit(text[0]) || text[0] == L'-')) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long read = std::wcstol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != L'\0' || read < minimum || read > maximum) return false;
    value = read;
    return true;
}

bool ReadDecimal(const std::wstring& text, double minimum, double& value) {
    if (text.empty() || !(iswdigit(text[0]) || text[0] == L'.' || text[0] == L'-')) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const double read = std::wcstod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != L'\0' || !std::isfinite(read) || read < minimum) return false;
    value = read;
    return true;
}

} // namespace QuivaneTool
