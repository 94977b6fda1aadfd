#pragma once
#include "CommandLine.h"

namespace QuivaneTool {

// quivane frames FILE OUTDIR [--time] [--at SECONDS]: decodes FILE and writes
// every composited frame as a straight-alpha PNG plus frames.tsv into OUTDIR.
// With a position (videos only) the still at that position is decoded instead
// of the representative one. Returns the process exit code.
const CommandInfo& FramesCommandInfo();
int RunFramesCommand(const ParsedLine& line);

} // namespace QuivaneTool
