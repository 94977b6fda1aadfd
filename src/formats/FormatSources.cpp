#include "FormatSources.h"

#include "FormatTable.h"
#include "platform/StreamBytes.h"

namespace Quivane {

std::unique_ptr<FrameSource> CreateFrameSource(const FormatRow& format, const StopToken& stop) {
    return std::unique_ptr<FrameSource>(format.createSource != nullptr ? format.createSource(stop) : nullptr);
}

const FormatRow* ChooseFormatForStream(IStream* stream, const std::wstring& name) {
    std::uint8_t header[kSniffHeaderSize] = {};
    ULONG read = 0;
    if (stream != nullptr && SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr))) {
        if (FAILED(ReadFully(stream, header, sizeof(header), read))) read = 0; // a host's read may be short
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    }
    return ChooseFormat(name, header, read > sizeof(header) ? sizeof(header) : read);
}

} // namespace Quivane
