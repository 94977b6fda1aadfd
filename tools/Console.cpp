#include "Console.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace QuivaneTool {

namespace {

void Write(DWORD which, const std::wstring& text) {
    if (text.empty()) return;
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return;
    std::vector<char> bytes(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Format(const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int length = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (length >= 0 && static_cast<size_t>(length) < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= (1u << 24)) return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace

void WriteOut(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }
void WriteError(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }

void Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = Format(format, args);
    va_end(args);
    WriteOut(text);
}

void PrintError(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = Format(format, args);
    va_end(args);
    WriteError(text);
}

} // namespace QuivaneTool
