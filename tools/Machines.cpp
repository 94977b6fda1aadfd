#include "Machines.h"

#include "platform/OwnedHandles.h"

namespace QuivaneTool {

namespace {

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

} // namespace

USHORT NativeMachine() {
    // Windows 10 1709 and later say it whatever this process's own processor
    // (an x64 program emulated on ARM64 included); before, only x86 and x64 ran it.
    const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
    if (isWow64Process2 != nullptr && isWow64Process2(GetCurrentProcess(), &process, &native)) return native;
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
}

USHORT ToolMachine() {
#if defined(__aarch64__) || defined(_M_ARM64)
    return IMAGE_FILE_MACHINE_ARM64;
#elif defined(_WIN64)
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

USHORT FileMachine(const std::wstring& path) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return IMAGE_FILE_MACHINE_UNKNOWN;
    const Quivane::UniqueHandle file(opened);
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    if (!ReadFile(file.Get(), &dos, sizeof(dos), &read, nullptr) || read != sizeof(dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
        return IMAGE_FILE_MACHINE_UNKNOWN;
    }
    LARGE_INTEGER at = {};
    at.QuadPart = dos.e_lfanew;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } pe = {};
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !ReadFile(file.Get(), &pe, sizeof(pe), &read, nullptr) ||
        read != sizeof(pe) || pe.signature != IMAGE_NT_SIGNATURE) {
        return IMAGE_FILE_MACHINE_UNKNOWN;
    }
    return pe.header.Machine;
}

USHORT MachineForView(bool view32) {
    const USHORT native = NativeMachine();
    return view32 || native == IMAGE_FILE_MACHINE_I386 ? IMAGE_FILE_MACHINE_I386 : native;
}

std::wstring MachineName(USHORT machine) {
    switch (machine) {
    case IMAGE_FILE_MACHINE_ARM64: return L"ARM64";
    case IMAGE_FILE_MACHINE_AMD64: return L"x64";
    case IMAGE_FILE_MACHINE_I386: return L"x86";
    case IMAGE_FILE_MACHINE_UNKNOWN: return L"unknown processor";
    default: return L"processor 0x" + std::to_wstring(machine);
    }
}

} // namespace QuivaneTool
