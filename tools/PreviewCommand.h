#pragma once
#include <string>
#include <vector>

namespace QuivaneTool {

// Hosts the preview handler in a top-level window the way the shell's preview
// host does. Returns the process exit code.
//   preview FILE [--size WxH] [--keys LIST] [--screenshot OUT.png [--after-ms N]] [--time]
int RunPreviewCommand(const std::vector<std::wstring>& args);

} // namespace QuivaneTool
