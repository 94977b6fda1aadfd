#pragma once
#include "CommandLine.h"

namespace QuivaneTool {

// quivane status: for every file type and both slots (preview, thumbnail),
// the class Explorer would use and whether it is ours; where our classes point
// and whether they load; Media Foundation and the WebP codec; and the same for
// the 32-bit registry view of a 64-bit system. Exit 0 when every slot is ours
// and loads, else 1, with one line per problem saying what to do.
const CommandInfo& StatusCommandInfo();
int RunStatusCommand(const ParsedLine& line);

} // namespace QuivaneTool
