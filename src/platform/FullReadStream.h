#pragma once
// A host's seekable stream as the platform's readers expect one: a read
// gives all it was asked for unless the end comes first, and Stat tells the
// size even when the host's own Stat will not (from the end found by Seek).
// Small reads are served from a read-ahead of the host's bytes, so a reader
// that asks for a few kilobytes at a time costs the host few calls.
#include <windows.h>
#include <objidl.h>

namespace Quivane {

// Wraps `inner`, which must seek; the new stream keeps a reference to it.
[[nodiscard]] HRESULT CreateFullReadStream(IStream* inner, IStream** out);

// The stream's size from Stat, else from seeking to its end (the position is
// kept); fails with the Stat's failure when neither tells it.
[[nodiscard]] HRESULT StreamSize(IStream* stream, ULONGLONG& size);

} // namespace Quivane
