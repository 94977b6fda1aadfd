#include "WebPFormat.h"

#ifdef _WIN32
#include "WebPFrameSource.h"
#endif

namespace Quivane {

bool IsWebPSignature(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "RIFF", 4) && BytesAt(bytes, count, 8, "WEBP", 4);
}

FormatRow WebPFormat() {
    // Decoded by the platform's codec, which may never return: no own decoder.
    FormatRow row{L"WebP", MediaKind::Animation, {L".webp"}, IsWebPSignature, nullptr, false, false, nullptr};
#ifdef _WIN32
    row.createSource = &CreateWebPFrameSource;
#endif
    return row;
}

} // namespace Quivane
