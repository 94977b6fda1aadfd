#pragma once
// The tool's text output: UTF-8 with bare line feeds when the output is a file
// or a pipe (what scripts read, under Wine too), the console's own wide-text
// call when it is a console, so any file name is printed whole either way.
#include <cstdarg>
#include <string>

namespace QuivaneTool {

void Print(const wchar_t* format, ...);      // standard output
void PrintError(const wchar_t* format, ...); // standard error
void WriteOut(const std::wstring& text);
void WriteError(const std::wstring& text);

} // namespace QuivaneTool
