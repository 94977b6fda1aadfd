// quivane.exe: shows what the library's renderers produce.
//   quivane frames FILE OUTDIR [--time] [--at SECONDS]
//   quivane preview FILE [--size WxH] [--keys LIST] [--screenshot OUT.png [--after-ms N]] [--time]
//   quivane thumbnail FILE [--size N] [--out OUT.png] [--time]
//   quivane register [--unregister]
#include "FramesCommand.h"
#include "PreviewCommand.h"
#include "RegisterCommand.h"
#include "ThumbnailCommand.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fwprintf(stderr, L"usage: quivane frames FILE OUTDIR [--time] [--at SECONDS]\n"
                          L"       quivane preview FILE [--size WxH] [--keys LIST] [--screenshot OUT.png "
                          L"[--after-ms N]] [--time]\n"
                          L"       quivane thumbnail FILE [--size N] [--out OUT.png] [--time]\n"
                          L"       quivane register [--unregister]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    int result = 2;
    try {
        if (args[0] == L"frames" && args.size() >= 3) {
            bool time = false;
            double at = -1;
            bool valid = true;
            for (size_t i = 3; i < args.size(); ++i) {
                if (args[i] == L"--time") {
                    time = true;
                } else if (args[i] == L"--at" && i + 1 < args.size()) {
                    at = _wtof(args[++i].c_str());
                } else {
                    valid = false;
                }
            }
            result = valid ? QuivaneTool::RunFramesCommand(args[1], args[2], time, at) : Usage();
        } else if (args[0] == L"preview") {
            result = QuivaneTool::RunPreviewCommand(args);
        } else if (args[0] == L"thumbnail") {
            result = QuivaneTool::RunThumbnailCommand(args);
        } else if (args[0] == L"register") {
            result = QuivaneTool::RunRegisterCommand(args);
        } else {
            result = Usage();
        }
    } catch (const std::exception&) {
        std::fwprintf(stderr, L"error: 0x%08lX\n", static_cast<unsigned long>(E_OUTOFMEMORY));
        result = 1;
    }
    CoUninitialize();
    return result;
}
