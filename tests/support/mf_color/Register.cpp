// QuivaneTestMfRegister.exe DLL: registers QuivaneTestColorConverter.dll in the
// current Wine prefix. MFTRegister writes the transform's entries the way this
// Media Foundation reads them; the COM server entry is written beside them.
// Wine's source reader looks for converters among the video decoders.
#include "ColorConverter.h"

#include <cstdio>
#include <iterator>
#include <string>

namespace {

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring ClsidText() {
    wchar_t text[64] = {};
    StringFromGUID2(QuivaneTestMf::CLSID_QuivaneTestColorConverter, text, static_cast<int>(std::size(text)));
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: QuivaneTestMfRegister DLL\n");
        return 2;
    }
    wchar_t full[MAX_PATH] = {};
    if (GetFullPathNameW(argv[1], MAX_PATH, full, nullptr) == 0) return 1;

    // "Both": the source reader's callers may be in the multithreaded apartment.
    const std::wstring server = L"Software\\Classes\\CLSID\\" + ClsidText() + L"\\InprocServer32";
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr);
    if (status == ERROR_SUCCESS) {
        status = SetString(key, nullptr, full);
        if (status == ERROR_SUCCESS) status = SetString(key, L"ThreadingModel", L"Both");
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        std::fwprintf(stderr, L"QuivaneTestMfRegister: writing %ls failed (%ld)\n", server.c_str(), status);
        return 1;
    }

    MFT_REGISTER_TYPE_INFO inputs[std::size(QuivaneTestMf::kInputSubtypes)];
    for (size_t i = 0; i < std::size(inputs); ++i) inputs[i] = {MFMediaType_Video, *QuivaneTestMf::kInputSubtypes[i]};
    MFT_REGISTER_TYPE_INFO output = {MFMediaType_Video, MFVideoFormat_RGB32};
    wchar_t name[] = L"Quivane test colour converter";
    const HRESULT hr = MFTRegister(QuivaneTestMf::CLSID_QuivaneTestColorConverter, MFT_CATEGORY_VIDEO_DECODER, name, 0,
                                   static_cast<UINT32>(std::size(inputs)), inputs, 1, &output, nullptr);
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"QuivaneTestMfRegister: MFTRegister failed (0x%08lx)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
