#pragma once
// The scripted inputs of `preview --keys`: their names, and each sent to the
// preview window as the user's key or wheel would be.
#include <windows.h>

#include <string>

namespace QuivaneTool {

bool IsPreviewKey(const std::wstring& name);
// "space, right, ..." for the usage.
std::wstring PreviewKeyNames();
// Posts the input; "wait" posts nothing and only spaces the keys out.
bool SendPreviewKey(HWND preview, const std::wstring& name);

} // namespace QuivaneTool
