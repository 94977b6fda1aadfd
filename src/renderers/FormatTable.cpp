#include "FormatTable.h"

#include "MediaBoxWalk.h"

#include <cstring>
#include <cwctype>
#include <string>

namespace Quivane {

// Defined with the decoders, which only the Windows build has.
FrameSource* CreateGifFrameSource(const StopToken& stop);
FrameSource* CreateWebPFrameSource(const StopToken& stop);
FrameSource* CreatePngFrameSource(const StopToken& stop);
FrameSource* CreateVideoFrameSource(const StopToken& stop);

namespace {

#ifdef _WIN32
#define QUIVANE_DECODER(create) &create
#else
#define QUIVANE_DECODER(create) nullptr
#endif

bool BytesAt(const std::uint8_t* bytes, std::size_t count, std::size_t offset, const void* expected,
             std::size_t length) {
    return count >= offset + length && std::memcmp(bytes + offset, expected, length) == 0;
}

bool IsGif(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "GIF87a", 6) || BytesAt(bytes, count, 0, "GIF89a", 6);
}

bool IsWebP(const std::uint8_t* bytes, std::size_t count) {
    return BytesAt(bytes, count, 0, "RIFF", 4) && BytesAt(bytes, count, 8, "WEBP", 4);
}

bool IsPng(const std::uint8_t* bytes, std::size_t count) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return BytesAt(bytes, count, 0, kSignature, sizeof(kSignature));
}

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

bool EndsWith(const std::wstring& text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && std::wstring_view(text).substr(text.size() - suffix.size()) == suffix;
}

} // namespace

const std::vector<FormatRow>& Formats() {
    // Registration writes the file types in this order.
    static const std::vector<FormatRow> rows = {
        {L"GIF", MediaKind::Animation, {L".gif"}, IsGif, QUIVANE_DECODER(CreateGifFrameSource), false, true, L"giffile"},
        {L"WebP", MediaKind::Animation, {L".webp"}, IsWebP, QUIVANE_DECODER(CreateWebPFrameSource), false, false, nullptr},
        {L"PNG", MediaKind::Animation, {L".png"}, IsPng, QUIVANE_DECODER(CreatePngFrameSource), false, true, L"pngfile"},
        {L"MPEG-4", MediaKind::Video, {L".mp4", L".m4v"}, IsIsoMedia, QUIVANE_DECODER(CreateVideoFrameSource), true, false,
         nullptr},
        {L"Windows Media Video", MediaKind::Video, {L".wmv"}, IsAsf, QUIVANE_DECODER(CreateVideoFrameSource), true, false,
         L"wmvfile"},
        // Containers the platform's media reader opens too; whether a file
        // plays depends on the codecs the system has (VP9, HEVC may be missing).
        {L"QuickTime", MediaKind::Video, {L".mov"}, IsQuickTime, QUIVANE_DECODER(CreateVideoFrameSource), true, false,
         nullptr},
        {L"AVI", MediaKind::Video, {L".avi"}, IsAvi, QUIVANE_DECODER(CreateVideoFrameSource), true, false, nullptr},
        {L"Matroska", MediaKind::Video, {L".mkv"}, IsMatroska, QUIVANE_DECODER(CreateVideoFrameSource), true, false,
         nullptr},
        {L"WebM", MediaKind::Video, {L".webm"}, IsWebM, QUIVANE_DECODER(CreateVideoFrameSource), true, false, nullptr},
    };
    return rows;
}

const FormatRow* FormatForHeader(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr) return nullptr;
    for (const FormatRow& row : Formats()) {
        if (row.sniff(bytes, count)) return &row;
    }
    return nullptr;
}

const FormatRow* FormatForName(std::wstring_view name) {
    std::wstring lower(name);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    for (const FormatRow& row : Formats()) {
        for (std::wstring_view extension : row.extensions) {
            if (EndsWith(lower, extension)) return &row;
        }
    }
    return nullptr;
}

const FormatRow* ChooseFormat(std::wstring_view name, const std::uint8_t* bytes, std::size_t count) {
    if (const FormatRow* sniffed = FormatForHeader(bytes, count)) return sniffed;
    return FormatForName(name);
}

} // namespace Quivane
