#include "formats/FormatTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Quivane;

namespace {

std::vector<unsigned char> Text(const char* text, std::size_t padTo = 16) {
    std::vector<unsigned char> bytes(text, text + std::char_traits<char>::length(text));
    if (bytes.size() < padTo) bytes.resize(padTo, 0);
    return bytes;
}

const FormatRow* Sniff(const std::vector<unsigned char>& bytes) { return FormatForHeader(bytes.data(), bytes.size()); }

std::wstring NameOf(const FormatRow* row) { return row != nullptr ? row->name : L"(none)"; }

const std::vector<unsigned char> kGif = Text("GIF89a");
const std::vector<unsigned char> kWebP = Text("RIFF\x01\x02\x03\x04WEBPVP8X");
const std::vector<unsigned char> kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const std::vector<unsigned char> kMp4 = {0x00, 0x00, 0x00, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
const std::vector<unsigned char> kAsf = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const std::vector<unsigned char> kMov = {0x00, 0x00, 0x00, 0x14, 'f', 't', 'y', 'p', 'q', 't', ' ', ' '};
const std::vector<unsigned char> kAvi = {'R', 'I', 'F', 'F', 0x10, 0x3F, 0, 0, 'A', 'V', 'I', ' '};
// EBML headers as ffmpeg writes them: the DocType names the flavour.
std::vector<unsigned char> Ebml(const char* docType) {
    std::vector<unsigned char> bytes = {0x1A, 0x45, 0xDF, 0xA3, 0xA3, 0x42, 0x86, 0x81, 0x01, 0x42, 0xF7, 0x81,
                                        0x01, 0x42, 0xF2, 0x81, 0x04, 0x42, 0xF3, 0x81, 0x08, 0x42, 0x82};
    bytes.push_back(static_cast<unsigned char>(0x80 | std::char_traits<char>::length(docType)));
    bytes.insert(bytes.end(), docType, docType + std::char_traits<char>::length(docType));
    return bytes;
}

} // namespace

TEST(FormatTable, EveryRowIsReachableByNameAndByHeader) {
    const std::vector<std::vector<unsigned char>> headers = {kGif, kWebP, kPng, kMp4, kAsf, kMov, kAvi,
                                                             Ebml("matroska"), Ebml("webm")};
    ASSERT_EQ(Formats().size(), headers.size());
    for (std::size_t i = 0; i < Formats().size(); ++i) {
        const FormatRow& row = Formats()[i];
        EXPECT_EQ(Sniff(headers[i]), &row) << NameOf(&row);
        for (std::wstring_view extension : row.extensions) {
            EXPECT_EQ(FormatForName(L"C:\\some\\file" + std::wstring(extension)), &row);
        }
        EXPECT_EQ(row.decodesFromStream, row.kind == MediaKind::Video) << NameOf(&row);
    }
    EXPECT_EQ(NameOf(FormatForName(L"ANIM.GiF")), L"GIF");
    EXPECT_EQ(NameOf(Sniff(Text("GIF87a"))), L"GIF");
    EXPECT_EQ(NameOf(Sniff(Text("abcdftypM4V "))), L"MPEG-4");
    EXPECT_EQ(NameOf(Sniff({0x00, 0x00, 0x00, 0x08, 'w', 'i', 'd', 'e'})), L"QuickTime"); // no ftyp
    EXPECT_EQ(NameOf(Sniff({'R', 'I', 'F', 'F', 0x10, 0x3F, 0, 0, 'W', 'A', 'V', 'E'})), L"(none)");
}

TEST(FormatTable, NamesMatchOnlyTheDottedSuffix) {
    for (const wchar_t* name : {L"photo.jpg", L"gif", L"animgif", L"", L"a.gif.txt", L"folder.gif\\file"}) {
        EXPECT_EQ(FormatForName(name), nullptr) << std::wstring(name);
    }
}

TEST(FormatTable, ShortOrUnknownHeadersAreNotRecognised) {
    EXPECT_EQ(FormatForHeader(nullptr, 0), nullptr);
    EXPECT_EQ(Sniff({}), nullptr);
    EXPECT_EQ(Sniff({0x89, 'P', 'N', 'G', 0x0D}), nullptr);     // PNG needs all 8
    EXPECT_EQ(Sniff(Text("RIFFzzzzWEB", 11)), nullptr);          // WebP needs 12
    EXPECT_EQ(Sniff(std::vector<unsigned char>(kAsf.begin(), kAsf.end() - 1)), nullptr);
    EXPECT_EQ(Sniff(Text("GIF")), nullptr);                      // no version
    EXPECT_EQ(Sniff(Text("\xFF\xD8\xFF\xE0 JFIF")), nullptr);
}

TEST(FormatTable, TheContentDecidesAndTheNameOnlyWhenItIsUnknown) {
    EXPECT_EQ(NameOf(ChooseFormat(L"clip.gif", kMp4.data(), kMp4.size())), L"MPEG-4");
    const auto webm = Ebml("webm");
    EXPECT_EQ(NameOf(ChooseFormat(L"clip.mkv", webm.data(), webm.size())), L"WebM");
    EXPECT_EQ(NameOf(ChooseFormat(L"anim.gif", kPng.data(), kPng.size())), L"PNG");
    EXPECT_EQ(NameOf(ChooseFormat(L"anim.png", kGif.data(), kGif.size())), L"GIF");
    const auto unknown = Text("\x00\x01\x02\x03");
    EXPECT_EQ(NameOf(ChooseFormat(L"clip.WMV", unknown.data(), unknown.size())), L"Windows Media Video");
    EXPECT_EQ(ChooseFormat(L"", unknown.data(), unknown.size()), nullptr);
    EXPECT_EQ(ChooseFormat(L"notes.txt", nullptr, 0), nullptr);
}
