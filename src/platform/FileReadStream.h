#pragma once
// A file opened for reading as a stream any thread may read directly: a
// stream the shell makes is served by the thread that made it, and a load
// worker reading a large file through that thread pays a round trip for
// every piece of it.
#include <windows.h>
#include <objidl.h>

namespace Quivane {

// Opens `path` for reading, sharing it with every other opener.
[[nodiscard]] HRESULT CreateFileReadStream(const wchar_t* path, IStream** out);

} // namespace Quivane
