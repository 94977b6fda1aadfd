#include "presentation/FailureReasons.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Quivane;

namespace {

constexpr std::int32_t Code(std::uint32_t value) { return static_cast<std::int32_t>(value); }
constexpr std::int32_t FromWin32(std::uint32_t error) { return Code(0x80070000u | error); }

MediaFacts Video(const wchar_t* codec, const wchar_t* extension) {
    MediaFacts facts;
    facts.format = L"MP4";
    facts.codec = codec;
    facts.codecExtension = extension;
    return facts;
}

std::wstring Reason(std::int32_t failure) { return FailureReason(failure, MediaFacts{}); }

} // namespace

TEST(FailureReason, DamagedFilesOfEveryKind) {
    const std::wstring damaged = L"The file is damaged or cut short.";
    EXPECT_EQ(Reason(Code(0x88982F60)), damaged); // a damaged GIF, PNG or WebP
    EXPECT_EQ(Reason(FromWin32(1392)), damaged);  // a damaged video
    EXPECT_EQ(Reason(Code(0xC00D36BE)), damaged); // a video the platform's parser refuses
}

TEST(FailureReason, FilesOfNoKnownFormat) {
    const std::wstring unknown = L"The file is not in a format this preview knows.";
    EXPECT_EQ(Reason(Code(0x88982F50)), unknown);
    EXPECT_EQ(Reason(Code(0x88982F07)), unknown);
    EXPECT_EQ(Reason(Code(0xC00D36C4)), unknown);
}

TEST(FailureReason, AMissingCodecIsNamedWithTheExtensionThatAddsIt) {
    const std::int32_t missing = Code(0xC00D5212);
    EXPECT_EQ(FailureReason(missing, Video(L"HEVC", L"HEVC Video Extensions")),
              L"This video needs the HEVC codec. Install \u201CHEVC Video Extensions\u201D from the Microsoft Store.");
    EXPECT_EQ(FailureReason(missing, Video(L"AV1", L"AV1 Video Extension")),
              L"This video needs the AV1 codec. Install \u201CAV1 Video Extension\u201D from the Microsoft Store.");
    EXPECT_EQ(FailureReason(missing, Video(L"MPEG-4 Part 2", L"")),
              L"This video needs the MPEG-4 Part 2 codec. Windows does not have it.");
    EXPECT_EQ(FailureReason(missing, Video(L"", L"")), L"This video needs a codec that Windows does not have.");
}

TEST(FailureReason, SizeReadAndPlatformFailures) {
    EXPECT_EQ(Reason(Code(0x8007000E)), L"The picture is too large to preview.");
    EXPECT_EQ(Reason(FromWin32(223)), L"The file is too large to preview.");
    const std::wstring unread = L"The file could not be read.";
    EXPECT_EQ(Reason(Code(0x80030005)), unread); // STG_E_ACCESSDENIED
    EXPECT_EQ(Reason(Code(0x8003001E)), unread); // STG_E_READFAULT
    EXPECT_EQ(Reason(FromWin32(30)), unread);    // ERROR_READ_FAULT
    EXPECT_EQ(Reason(FromWin32(32)), unread);    // ERROR_SHARING_VIOLATION
    EXPECT_EQ(Reason(FromWin32(5)), unread);     // ERROR_ACCESS_DENIED
    const std::wstring noMedia = FailureReason(FromWin32(126), Video(L"", L""));
    EXPECT_NE(noMedia.find(L"Media Foundation"), std::wstring::npos) << std::string(noMedia.begin(), noMedia.end());
    EXPECT_NE(noMedia.find(L"\u201CMedia Feature Pack\u201D"), std::wstring::npos);
    EXPECT_EQ(Reason(FromWin32(258)), L"The file took too long to decode.");
    EXPECT_EQ(Reason(FromWin32(4306)), L"The file is empty."); // ERROR_EMPTY: a file of no bytes
}

TEST(FailureReason, AnUnknownFailureGetsAGenericReason) {
    EXPECT_EQ(Reason(Code(0x80004005)), L"The file could not be decoded."); // E_FAIL
    EXPECT_EQ(Reason(Code(0x8000FFFF)), L"The file could not be decoded."); // E_UNEXPECTED
    EXPECT_EQ(Reason(FromWin32(87)), L"The file could not be decoded.");    // ERROR_INVALID_PARAMETER
    // A codec's name alone does not make every failure the codec's.
    EXPECT_EQ(FailureReason(Code(0x80004005), Video(L"HEVC", L"HEVC Video Extensions")),
              L"The file could not be decoded.");
}

TEST(FailureReason, OnlyFailuresThatWereNotSupersededAreTold) {
    EXPECT_TRUE(IsFailureToTell(Code(0x88982F60)));
    EXPECT_TRUE(IsFailureToTell(Code(0x80004005)));
    EXPECT_FALSE(IsFailureToTell(0));               // S_OK
    EXPECT_FALSE(IsFailureToTell(1));               // S_FALSE
    EXPECT_FALSE(IsFailureToTell(FromWin32(1223))); // ERROR_CANCELLED
}

TEST(FailureSentence, TitleAndReasonReadAsOneLine) {
    EXPECT_EQ(FailureSentence(kCannotPreviewTitle, L"The file could not be read."),
              L"Cannot preview this file. The file could not be read.");
    EXPECT_EQ(FailureSentence(L"", L""), L"");
}
