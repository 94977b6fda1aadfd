// Holds a DLL loaded the way a shell process holds the server it uses, for
// the installer's upgrade check:
//   module_holder.exe DLL READY_FILE RELEASE_FILE
// loads DLL, creates READY_FILE, and keeps the DLL loaded until RELEASE_FILE
// exists (or ten minutes pass, so a failed run leaves nothing behind).
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("usage: module_holder DLL READY_FILE RELEASE_FILE\n", stderr);
        return 2;
    }
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load the DLL: error %lu\n", GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create the ready file: error %lu\n", GetLastError());
        FreeLibrary(module);
        return 1;
    }
    CloseHandle(ready);
    const ULONGLONG deadline = GetTickCount64() + 10 * 60 * 1000;
    bool released = false;
    while (!(released = GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES) && GetTickCount64() < deadline) {
        Sleep(20);
    }
    FreeLibrary(module);
    return released ? 0 : 3;
}
