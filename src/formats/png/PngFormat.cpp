#include "PngFormat.h"

#include "PngChunks.h"

#ifdef _WIN32
#include "PngFrameSource.h"
#endif

namespace Quivane {

bool IsPngSignature(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, kPngSignature, sizeof(kPngSignature));
}

FormatRow PngFormat() {
    FormatRow row{L"PNG", MediaKind::Animation, {L".png"}, IsPngSignature, nullptr, false, true, L"pngfile"};
#ifdef _WIN32
    row.createSource = &CreatePngFrameSource;
#endif
    return row;
}

} // namespace Quivane
