#include "VideoFormats.h"

#include "MediaBoxWalk.h"

#ifdef _WIN32
#include "VideoFrameSource.h"
#endif

namespace Quivane {
namespace {

bool IsQuickTime(const std::uint8_t* bytes, std::size_t count) {
    if (BytesAt(bytes, count, 4, "ftyp", 4)) return BytesAt(bytes, count, 8, "qt  ", 4);
    // Older QuickTime files open with a movie, data or padding atom instead.
    return LooksLikeIsoMedia(bytes, count);
}

bool IsIsoMedia(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 4, "ftyp", 4) && !IsQuickTime(bytes, count);
}

bool IsAvi(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "RIFF", 4) && BytesAt(bytes, count, 8, "AVI ", 4);
}

bool IsEbml(const std::uint8_t* bytes, std::size_t count) {
    static const std::uint8_t kEbmlId[4] = {0x1A, 0x45, 0xDF, 0xA3};
    return BytesAt(bytes, count, 0, kEbmlId, sizeof(kEbmlId));
}

// WebM is Matroska whose EBML header names the document type "webm"; the
// DocType element (ID 42 82, a one-byte size) sits within the first bytes.
bool IsWebM(const std::uint8_t* bytes, std::size_t count) {
    if (!IsEbml(bytes, count)) return false;
    for (std::size_t at = 4; at + 7 <= count; ++at) {
        if (bytes[at] == 0x42 && bytes[at + 1] == 0x82 && bytes[at + 2] == 0x84) {
            return BytesAt(bytes, count, at + 3, "webm", 4);
        }
    }
    return false;
}

bool IsMatroska(const std::uint8_t* bytes, std::size_t count) { return IsEbml(bytes, count) && !IsWebM(bytes, count); }

// The ASF Header Object GUID {75B22630-668E-11CF-A6D9-00AA0062CE6C} as stored on disk.
bool IsAsf(const std::uint8_t* bytes, std::size_t count) {
    static const std::uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    return BytesAt(bytes, count, 0, kHeaderGuid, sizeof(kHeaderGuid));
}

FormatRow VideoRow(const wchar_t* name, std::vector<std::wstring_view> extensions,
                   bool (*sniff)(const std::uint8_t*, std::size_t), const wchar_t* progId) {
    FormatRow row{name, MediaKind::Video, std::move(extensions), sniff, nullptr, true, false, progId};
#ifdef _WIN32
    row.createSource = &CreateVideoFrameSource;
#endif
    return row;
}

} // namespace

std::vector<FormatRow> VideoFormats() {
    return {
        VideoRow(L"MPEG-4", {L".mp4", L".m4v"}, IsIsoMedia, nullptr),
        VideoRow(L"Windows Media Video", {L".wmv"}, IsAsf, L"wmvfile"),
        // Containers the platform's media reader opens too; whether a file
        // plays depends on the codecs the system has (VP9, HEVC may be missing).
        VideoRow(L"QuickTime", {L".mov"}, IsQuickTime, nullptr),
        VideoRow(L"AVI", {L".avi"}, IsAvi, nullptr),
        VideoRow(L"Matroska", {L".mkv"}, IsMatroska, nullptr),
        VideoRow(L"WebM", {L".webm"}, IsWebM, nullptr),
    };
}

} // namespace Quivane
