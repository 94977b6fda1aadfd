#pragma once
// A read-only stream over bytes already in memory that keeps a share of them
// instead of a copy, as a platform memory stream would make. Free-threaded:
// a worker handed it reads it directly, not through the giving thread.
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace Quivane {

[[nodiscard]] HRESULT CreateSharedBytesStream(std::shared_ptr<const std::vector<std::uint8_t>> bytes, IStream** out);

} // namespace Quivane
