#include "CanvasSize.h"

#include "CanvasLimits.h"
#include "platform/HResult.h"

#include <wincodec.h>

namespace Quivane {

namespace {
std::uint64_t PhysicalMemory() {
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    return GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : 0;
}
} // namespace

HRESULT CheckCanvasSize(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    return CanvasFits(width, height, PhysicalMemory()) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CheckRowSize(std::uint32_t width) {
    if (width == 0) RETURN_FAILURE(WINCODEC_ERR_BADIMAGE);
    return RowsFit(width, PhysicalMemory()) ? S_OK : E_OUTOFMEMORY;
}

} // namespace Quivane
