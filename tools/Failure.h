#pragma once
// How the tool reports a failure: one line on standard error with what failed,
// the HRESULT in hex and what the system says it means. Returns exit code 1.
#include <windows.h>

#include <string>

namespace QuivaneTool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // a file (or the platform) failed
constexpr int kExitUsage = 2;  // a wrong command line

// "0x88982F50 The component cannot be found" (or a description of its facility
// when the system has no message for it).
std::wstring DescribeHResult(HRESULT hr);

// error: FILE: WHAT: 0x... message (at Source.cpp:LINE), the place when this
// thread recorded where that code began (platform/Failure.h), else
// `serverPlace`: where the server that failed said it began.
int ReportFileFailure(const std::wstring& file, const wchar_t* what, HRESULT hr, const std::wstring& serverPlace = {});
// error: WHAT: 0x... message
int ReportFailure(const wchar_t* what, HRESULT hr);

// Whether a failure told was a load that took too long: the platform's reader
// may still be stuck inside the file, and ending the process the usual way
// would wait on, or crash in, its teardown.
bool ToldOfALoadThatTookTooLong();

} // namespace QuivaneTool
