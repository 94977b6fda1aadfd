#include "renderers/RendererSelection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Quivane::RendererKind;
using Quivane::RendererKindForName;
using Quivane::SyntheticNameForHeader;

TEST(RendererKindForName, SuffixDecidesWhateverTheCase) {
    EXPECT_EQ(RendererKindForName(L"ANIM.GIF"), RendererKind::Gif);
    EXPECT_EQ(RendererKindForName(L"C:\\Users\\me\\Pictures\\cat.GiF"), RendererKind::Gif);
    EXPECT_EQ(RendererKindForName(L"cat.gif"), RendererKind::Gif);
    EXPECT_EQ(RendererKindForName(L"x.webp"), RendererKind::WebP);
    EXPECT_EQ(RendererKindForName(L"x.PNG"), RendererKind::Apng);
    EXPECT_EQ(RendererKindForName(L"clip.MP4"), RendererKind::VideoStill);
    EXPECT_EQ(RendererKindForName(L"clip.wmv"), RendererKind::VideoStill);
    EXPECT_EQ(RendererKindForName(L".gif"), RendererKind::Gif);
}

TEST(RendererKindForName, NoMatchWithoutTheDottedSuffix) {
    EXPECT_EQ(RendererKindForName(L"photo.jpg"), RendererKind::None);
    EXPECT_EQ(RendererKindForName(L"gif"), RendererKind::None);
    EXPECT_EQ(RendererKindForName(L"animgif"), RendererKind::None);
    EXPECT_EQ(RendererKindForName(L""), RendererKind::None);
    EXPECT_EQ(RendererKindForName(L"a.gif.txt"), RendererKind::None);
    EXPECT_EQ(RendererKindForName(L"folder.gif\\file"), RendererKind::None);
}

namespace {
std::wstring Sniff(const std::vector<unsigned char>& bytes) {
    return SyntheticNameForHeader(bytes.data(), bytes.size());
}
std::vector<unsigned char> Text(const char* text, std::size_t padTo = 16) {
    std::vector<unsigned char> bytes(text, text + std::char_traits<char>::length(text));
    if (bytes.size() < padTo) bytes.resize(padTo, 0);
    return bytes;
}
} // namespace

TEST(SyntheticNameForHeader, RecognisesEachSignature) {
    EXPECT_EQ(Sniff(Text("GIF89a")), L"preview.gif");
    EXPECT_EQ(Sniff(Text("RIFF\x01\x02\x03\x04WEBPVP8X")), L"preview.webp");
    EXPECT_EQ(Sniff(Text("RIFFzzzzWEBP")), L"preview.webp");
    EXPECT_EQ(Sniff({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}), L"preview.png");
    EXPECT_EQ(Sniff({0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}), L"preview.mp4");
    EXPECT_EQ(Sniff(Text("abcdftypqt  ")), L"preview.mp4");
    EXPECT_EQ(Sniff({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}),
              L"preview.wmv");
}

TEST(SyntheticNameForHeader, ShortOrUnknownInputFallsBackToGif) {
    EXPECT_EQ(Sniff({}), L"preview.gif");
    EXPECT_EQ(std::wstring(SyntheticNameForHeader(nullptr, 0)), L"preview.gif");
    EXPECT_EQ(Sniff({0x89, 'P', 'N', 'G', 0x0D}), L"preview.gif");        // PNG needs 8 bytes
    EXPECT_EQ(Sniff(Text("RIFFzzzzWEB", 11)), L"preview.gif");            // WebP needs 12
    EXPECT_EQ(Sniff({0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE}),
              L"preview.gif");                                               // ASF needs all 16
    EXPECT_EQ(Sniff(Text("\xFF\xD8\xFF\xE0 JFIF")), L"preview.gif");
}
