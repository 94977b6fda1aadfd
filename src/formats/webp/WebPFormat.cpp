#include "WebPFormat.h"

#ifdef _WIN32
#include "WebPFrameSource.h"
#endif

namespace Quivane {

bool IsWebPSignature(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "RIFF", 4) && BytesAt(bytes, count, 8, "WEBP", 4);
}

FormatRow WebPFormat() {
    FormatRow row{L"WebP", MediaKind::Animation, {L".webp"}, IsWebPSignature, nullptr, false, true, nullptr};
#ifdef _WIN32
    row.createSource = &CreateWebPFrameSource;
#endif
    return row;
}

} // namespace Quivane
