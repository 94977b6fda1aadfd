#include "RendererSelection.h"

#include <cstring>
#include <cwctype>
#include <string>

namespace Quivane {
namespace {

bool EndsWith(const std::wstring& text, std::wstring_view suffix) {
    return text.size() >= suffix.size() &&
           std::wstring_view(text).substr(text.size() - suffix.size()) == suffix;
}

bool BytesAt(const std::uint8_t* bytes, std::size_t offset, const char* expected) {
    return std::memcmp(bytes + offset, expected, std::strlen(expected)) == 0;
}

// The ASF Header Object GUID {75B22630-668E-11CF-A6D9-00AA0062CE6C} as stored on disk.
constexpr std::uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr std::uint8_t kPngSignatureStart[4] = {0x89, 0x50, 0x4E, 0x47};

} // namespace

RendererKind RendererKindForName(std::wstring_view name) {
    std::wstring lower(name);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));

    struct Rule {
        std::wstring_view suffix;
        RendererKind kind;
    };
    static constexpr Rule kRules[] = {
        {L".gif", RendererKind::Gif},          {L".webp", RendererKind::WebP},
        {L".png", RendererKind::Apng},         {L".mp4", RendererKind::VideoStill},
        {L".wmv", RendererKind::VideoStill},
    };
    for (const Rule& rule : kRules) {
        if (EndsWith(lower, rule.suffix)) return rule.kind;
    }
    return RendererKind::None;
}

const wchar_t* SyntheticNameForHeader(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr) return L"preview.gif";
    if (count >= 6 && BytesAt(bytes, 0, "GIF")) return L"preview.gif";
    if (count >= 12 && BytesAt(bytes, 0, "RIFF") && BytesAt(bytes, 8, "WEBP")) return L"preview.webp";
    if (count >= 8 && std::memcmp(bytes, kPngSignatureStart, 4) == 0) return L"preview.png";
    if (count >= 8 && BytesAt(bytes, 4, "ftyp")) return L"preview.mp4";
    if (count >= 16 && std::memcmp(bytes, kAsfHeaderGuid, 16) == 0) return L"preview.wmv";
    return L"preview.gif";
}

} // namespace Quivane
