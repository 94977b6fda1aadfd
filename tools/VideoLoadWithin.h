#pragma once
// A video's still loaded on a worker of its own, waited for until a deadline:
// the platform's reader may never return from a damaged file, and the tool
// must still answer.
#include "formats/FormatTable.h"
#include "frames/DecodedMedia.h"
#include "formats/video/VideoStill.h"

#include <windows.h>

#include <string>

namespace QuivaneTool {

// How long the frames command waits for a video's still.
constexpr DWORD kVideoLoadDeadlineMs = 30000;

// Loads FILE's representative still (`atSeconds` < 0) or the still at that
// position, from a stream of its own on a worker. On time: the worker's
// result, and `still` when it succeeded. Past `deadlineMs`: WAIT_TIMEOUT,
// and the worker is left to the platform; what it holds is its own.
[[nodiscard]] HRESULT LoadVideoWithin(const std::wstring& file, const Quivane::FormatRow& format, double atSeconds,
                                      DWORD deadlineMs, Quivane::VideoStill& still);

} // namespace QuivaneTool
