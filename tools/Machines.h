#pragma once
#include <windows.h>

#include <string>

namespace QuivaneTool {

// Processors as PE files name them (IMAGE_FILE_MACHINE_*): the machine's own,
// this tool's, and the one a DLL was built for. Explorer loads only DLLs of
// its machine's own processor into its 64-bit view (ARM64 on Windows on ARM).
USHORT NativeMachine();
USHORT ToolMachine();
// IMAGE_FILE_MACHINE_UNKNOWN when the file cannot be read as a PE file.
USHORT FileMachine(const std::wstring& path);
// The build a machine needs in a registry view: its own 64-bit processor's in the 64-bit view, x86 in the 32-bit one.
USHORT MachineForView(bool view32);
std::wstring MachineName(USHORT machine);

} // namespace QuivaneTool
