#pragma once
#include <string>
#include <vector>

namespace QuivaneTool {

// quivane register [--unregister]: registers (or removes) the Quivane.dll
// beside the tool for the current user, as regsvr32 would. Returns the exit code.
int RunRegisterCommand(const std::vector<std::wstring>& args);

} // namespace QuivaneTool
