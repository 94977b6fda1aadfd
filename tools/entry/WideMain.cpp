// The C runtime's entry for a program whose code starts at wmain, where the
// linker cannot be told to call wmain itself (clang's mingw driver has no
// -municode): main hands over the command line in its wide form.
#include <windows.h>
#include <shellapi.h>

int wmain(int argc, wchar_t** argv);

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 1;
    const int result = wmain(argc, argv);
    LocalFree(argv);
    return result;
}
