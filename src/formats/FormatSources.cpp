#include "FormatSources.h"

#include "FormatTable.h"
#include "platform/HResult.h"
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

namespace {

// The name the stream gives itself (a file's path), or none.
std::wstring StreamName(IStream* stream) {
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_DEFAULT)) || stat.pwcsName == nullptr) return {};
    std::wstring name(stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);
    return name;
}

bool HasNoBytes(IStream* stream) {
    std::uint8_t first = 0;
    ULONG read = 0;
    const bool empty = SUCCEEDED(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr)) &&
                       SUCCEEDED(ReadFully(stream, &first, 1, read)) && read == 0;
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    return empty;
}

} // namespace

HRESULT FindStreamFormat(IStream* stream, const std::wstring& name, const FormatRow*& format) {
    format = nullptr;
    if (stream == nullptr) return E_POINTER;
    if (HasNoBytes(stream)) RETURN_FAILURE(kEmptyFile);
    format = ChooseFormatForStream(stream, name.empty() ? StreamName(stream) : name);
    if (format == nullptr) RETURN_FAILURE(kUnknownFormat);
    return S_OK;
}

} // namespace Quivane
