#include "VideoCodecNames.h"

namespace Quivane {
namespace {

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}

struct KnownCodec {
    std::uint32_t fourcc;
    VideoCodecName name;
};

constexpr wchar_t kHevcExtension[] = L"HEVC Video Extensions";
constexpr wchar_t kAv1Extension[] = L"AV1 Video Extension";
constexpr wchar_t kVp9Extension[] = L"VP9 Video Extensions";
constexpr wchar_t kWebMediaExtension[] = L"Web Media Extensions";
constexpr wchar_t kMpeg2Extension[] = L"MPEG-2 Video Extension";

constexpr KnownCodec kKnownCodecs[] = {
    {FourCC('H', '2', '6', '4'), {L"H.264", nullptr}},
    {FourCC('A', 'V', 'C', '1'), {L"H.264", nullptr}},
    {FourCC('H', 'E', 'V', 'C'), {L"HEVC", kHevcExtension}},
    {FourCC('H', 'E', 'V', 'S'), {L"HEVC", kHevcExtension}},
    {FourCC('H', 'V', 'C', '1'), {L"HEVC", kHevcExtension}},
    {FourCC('A', 'V', '0', '1'), {L"AV1", kAv1Extension}},
    {FourCC('V', 'P', '9', '0'), {L"VP9", kVp9Extension}},
    {FourCC('V', 'P', '8', '0'), {L"VP8", kWebMediaExtension}},
    {FourCC('t', 'h', 'e', 'o'), {L"Theora", kWebMediaExtension}},
    {FourCC('M', 'P', '4', 'V'), {L"MPEG-4 Part 2", nullptr}},
    {FourCC('M', '4', 'S', '2'), {L"MPEG-4 Part 2", nullptr}},
    {FourCC('M', 'P', '4', 'S'), {L"MPEG-4 Part 2", nullptr}},
    {FourCC('M', 'P', '4', '3'), {L"MPEG-4 Part 2", nullptr}},
    {FourCC('M', 'P', 'G', '1'), {L"MPEG-1", nullptr}},
    {FourCC('W', 'M', 'V', '1'), {L"WMV 7", nullptr}},
    {FourCC('W', 'M', 'V', '2'), {L"WMV 8", nullptr}},
    {FourCC('W', 'M', 'V', '3'), {L"WMV 9", nullptr}},
    {FourCC('W', 'V', 'C', '1'), {L"VC-1", nullptr}},
    {FourCC('M', 'J', 'P', 'G'), {L"Motion JPEG", nullptr}},
    {FourCC('H', '2', '6', '3'), {L"H.263", nullptr}},
    {FourCC('d', 'v', 's', 'd'), {L"DV", nullptr}},
    {FourCC('d', 'v', '2', '5'), {L"DV", nullptr}},
    {FourCC('d', 'v', '5', '0'), {L"DV", nullptr}},
};

} // namespace

VideoCodecName NameVideoCodec(std::uint32_t fourcc, int mpegVersion) {
    if (mpegVersion == 1) return {L"MPEG-1", nullptr};
    if (mpegVersion == 2) return {L"MPEG-2", kMpeg2Extension};
    // Four-character codes are matched whatever their letters' case.
    auto lower = [](std::uint32_t code) {
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            std::uint32_t c = (code >> shift) & 0xFF;
            if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
            out |= c << shift;
        }
        return out;
    };
    for (const KnownCodec& known : kKnownCodecs) {
        if (lower(known.fourcc) == lower(fourcc)) return known.name;
    }
    return {};
}

} // namespace Quivane
