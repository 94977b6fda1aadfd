#include "GifFormat.h"

#ifdef _WIN32
#include "GifFrameSource.h"
#endif

namespace Quivane {

bool IsGifSignature(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "GIF87a", 6) || BytesAt(bytes, count, 0, "GIF89a", 6);
}

FormatRow GifFormat() {
    FormatRow row{L"GIF", MediaKind::Animation, {L".gif"}, IsGifSignature, nullptr, false, true, L"giffile"};
#ifdef _WIN32
    row.createSource = &CreateGifFrameSource;
#endif
    return row;
}

} // namespace Quivane
