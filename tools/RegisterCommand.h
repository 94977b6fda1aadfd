#pragma once
#include "CommandLine.h"

namespace QuivaneTool {

// quivane register [--unregister]: registers (or removes) the Quivane.dll
// beside the tool for the current user, as regsvr32 would. Returns the exit code.
const CommandInfo& RegisterCommandInfo();
int RunRegisterCommand(const ParsedLine& line);

} // namespace QuivaneTool
