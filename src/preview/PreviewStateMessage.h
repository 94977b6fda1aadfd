#pragma once
// A registered window message the preview window answers with what it shows,
// so a host in the same process (the tool, the tests) can wait for the first
// frame without reaching into the handler.
#include <windows.h>

namespace Quivane {

constexpr wchar_t kPreviewStateMessageName[] = L"QuivanePreviewState";
constexpr LRESULT kPreviewStateLoading = 1;
constexpr LRESULT kPreviewStateShowing = 2;
// Asked with this wParam, the window answers the index of the frame on screen
// and, with the next, its frame count; -1 while it has none.
constexpr WPARAM kPreviewStateShownFrame = 1;
constexpr WPARAM kPreviewStateFrameCount = 2;
// Asked with this wParam, it answers the HRESULT of the last load when that
// load failed and left nothing on screen; S_OK otherwise.
constexpr WPARAM kPreviewStateLoadResult = 3;

inline UINT PreviewStateMessage() {
    static const UINT message = RegisterWindowMessageW(kPreviewStateMessageName);
    return message;
}

} // namespace Quivane
