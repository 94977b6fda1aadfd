#pragma once
#include "CommandLine.h"

namespace QuivaneTool {

// quivane thumbnail FILE [--size N] [--out OUT.png] [--time]: asks the
// thumbnail provider for FILE's thumbnail as Explorer does and writes it as a
// PNG with its alpha. Returns the process exit code.
const CommandInfo& ThumbnailCommandInfo();
int RunThumbnailCommand(const ParsedLine& line);

} // namespace QuivaneTool
