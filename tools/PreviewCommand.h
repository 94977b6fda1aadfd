#pragma once
#include "CommandLine.h"

namespace QuivaneTool {

// Hosts the preview handler in a top-level window the way the shell's preview
// host does. Returns the process exit code.
//   preview FILE [--size WxH] [--keys LIST] [--screenshot OUT.png [--after-ms N] [--screenshot-failed]] [--play-through] [--time]
const CommandInfo& PreviewCommandInfo();
int RunPreviewCommand(const ParsedLine& line);

} // namespace QuivaneTool
