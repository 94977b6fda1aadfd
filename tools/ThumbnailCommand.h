#pragma once
#include <string>
#include <vector>

namespace QuivaneTool {

// quivane thumbnail FILE [--size N] [--out OUT.png] [--time]: asks the
// thumbnail provider for FILE's thumbnail as Explorer does and writes it as a
// PNG with its alpha. Returns the process exit code.
int RunThumbnailCommand(const std::vector<std::wstring>& args);

} // namespace QuivaneTool
