#pragma once
// What each command accepts, read from its own table: the same table parses a
// command line and writes the command's usage, so the two never disagree.
#include <map>
#include <string>
#include <vector>

namespace QuivaneTool {

struct OptionInfo {
    const wchar_t* name;  // "--size"
    const wchar_t* value; // what its value is, "N"; nullptr for an option without one
    const wchar_t* help;
};

struct CommandInfo {
    const wchar_t* name;                    // "thumbnail"
    std::vector<const wchar_t*> operands;   // "FILE", "OUTDIR"
    const wchar_t* summary;                 // one line on what it does
    std::vector<OptionInfo> options;
    std::vector<std::wstring> notes;        // lines after the options
};

struct ParsedLine {
    std::vector<std::wstring> operands;
    std::map<std::wstring, std::wstring> options; // an option without a value maps to ""
    bool help = false;

    bool Has(const wchar_t* option) const { return options.count(option) != 0; }
    const std::wstring* Value(const wchar_t* option) const;
};

// Parses the arguments after the command word. -h and --help ask for help;
// "--" ends the options. False with the reason when the line is wrong.
bool ParseCommandLine(const CommandInfo& command, const std::vector<std::wstring>& args, ParsedLine& line,
                      std::wstring& reason);

// "usage: quivane thumbnail FILE [--size N] ..." and one line per option.
std::wstring CommandUsage(const CommandInfo& command);

// Prints the reason and the command's usage on standard error; returns exit code 2.
int ReportUsageError(const CommandInfo& command, const std::wstring& reason);

// Strict readings of option values: the whole text, within the range.
bool ReadWholeNumber(const std::wstring& text, long minimum, long maximum, long& value);
bool ReadDecimal(const std::wstring& text, double minimum, double& value);

} // namespace QuivaneTool
