#pragma once
// Why a file cannot be previewed, in words for people: the load's failure
// (an HRESULT, given as its 32-bit value) and what the load learnt of the
// media (a video's codec and the Store extension that adds it).
#include "frames/MediaFacts.h"

#include <cstdint>
#include <string>

namespace Quivane {

// The message's first line, whatever the reason.
extern const wchar_t kCannotPreviewTitle[]; // "Cannot preview this file"

// Whether the pane tells of `failure`: not of a success, nor of a load
// that a newer one superseded.
bool IsFailureToTell(std::int32_t failure);

// One sentence on why; a generic one for a failure of no known kind, never empty.
std::wstring FailureReason(std::int32_t failure, const MediaFacts& facts);

// The title and the reason as one line (the window's text, for screen readers).
std::wstring FailureSentence(const std::wstring& title, const std::wstring& reason);

} // namespace Quivane
