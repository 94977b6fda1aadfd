#include "FailureReasons.h"

namespace Quivane {

const wchar_t kCannotPreviewTitle[] = L"Cannot preview this file";

namespace {

// The failures by their values, as the platform's headers define them.
constexpr std::uint32_t kOutOfMemory = 0x8007000E;                 // E_OUTOFMEMORY
constexpr std::uint32_t kBadImage = 0x88982F60;                    // WINCODEC_ERR_BADIMAGE
constexpr std::uint32_t kUnknownImageFormat = 0x88982F07;          // WINCODEC_ERR_UNKNOWNIMAGEFORMAT
constexpr std::uint32_t kComponentNotFound = 0x88982F50;           // WINCODEC_ERR_COMPONENTNOTFOUND
constexpr std::uint32_t kCodecNotFound = 0xC00D5212;               // MF_E_TOPO_CODEC_NOT_FOUND
constexpr std::uint32_t kInvalidMediaFile = 0xC00D36BE;            // MF_E_INVALID_FILE_FORMAT
constexpr std::uint32_t kUnsupportedByteStream = 0xC00D36C4;       // MF_E_UNSUPPORTED_BYTESTREAM_TYPE
constexpr std::uint32_t kEmptyFile = 0x800710D2;                   // HRESULT_FROM_WIN32(ERROR_EMPTY)
constexpr std::uint32_t kStorageFacility = 3;                      // FACILITY_STORAGE: STG_E_*
constexpr std::uint32_t kWin32Facility = 7;                        // FACILITY_WIN32

// Windows' error codes, as HRESULT_FROM_WIN32 wraps them.
namespace Win32 {
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kNotReady = 21;
constexpr std::uint32_t kCrc = 23;
constexpr std::uint32_t kSeek = 25;
constexpr std::uint32_t kSectorNotFound = 27;
constexpr std::uint32_t kReadFault = 30;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kLockViolation = 33;
constexpr std::uint32_t kHandleEof = 38;
constexpr std::uint32_t kBadNetPath = 53;
constexpr std::uint32_t kUnexpectedNetError = 59;
constexpr std::uint32_t kNetNameDeleted = 64;
constexpr std::uint32_t kModuleNotFound = 126;
constexpr std::uint32_t kFileTooLarge = 223;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kCancelled = 1223;
constexpr std::uint32_t kIoDevice = 1117;
constexpr std::uint32_t kDllNotFound = 1157;
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kFileCorrupt = 1392;
constexpr std::uint32_t kDiskCorrupt = 1393;
} // namespace Win32

constexpr std::uint32_t FromWin32(std::uint32_t error) { return 0x80070000u | error; }

bool IsWin32(std::uint32_t failure, std::uint32_t error) { return failure == FromWin32(error); }

bool IsReadFailure(std::uint32_t failure) {
    if (((failure >> 16) & 0x1FFF) == kStorageFacility && (failure & 0x80000000u) != 0) return true;
    if (((failure >> 16) & 0x1FFF) != kWin32Facility) return false;
    switch (failure & 0xFFFF) {
    case Win32::kFileNotFound:
    case Win32::kPathNotFound:
    case Win32::kAccessDenied:
    case Win32::kNotReady:
    case Win32::kCrc:
    case Win32::kSeek:
    case Win32::kSectorNotFound:
    case Win32::kReadFault:
    case Win32::kGenFailure:
    case Win32::kSharingViolation:
    case Win32::kLockViolation:
    case Win32::kHandleEof:
    case Win32::kBadNetPath:
    case Win32::kUnexpectedNetError:
    case Win32::kNetNameDeleted:
    case Win32::kIoDevice:
    case Win32::kDeviceNotConnected:
    case Win32::kDiskCorrupt: return true;
    default: return false;
    }
}

std::wstring CodecReason(const MediaFacts& facts) {
    if (facts.codec.empty()) return L"This video needs a codec that Windows does not have.";
    std::wstring reason = L"This video needs the " + facts.codec + L" codec.";
    if (facts.codecExtension.empty()) return reason + L" Windows does not have it.";
    return reason + L" Install \u201C" + facts.codecExtension + L"\u201D from the Microsoft Store.";
}

} // namespace

bool IsFailureToTell(std::int32_t failure) {
    const auto code = static_cast<std::uint32_t>(failure);
    return (code & 0x80000000u) != 0 && !IsWin32(code, Win32::kCancelled);
}

std::wstring FailureReason(std::int32_t failure, const MediaFacts& facts) {
    const auto code = static_cast<std::uint32_t>(failure);
    if (code == kCodecNotFound) return CodecReason(facts);
    if (code == kEmptyFile) return L"The file is empty.";
    if (code == kBadImage || code == kInvalidMediaFile || IsWin32(code, Win32::kFileCorrupt)) {
        return L"The file is damaged or cut short.";
    }
    if (code == kUnknownImageFormat || code == kComponentNotFound || code == kUnsupportedByteStream) {
        return L"The file is not in a format this preview knows.";
    }
    if (code == kOutOfMemory) return L"The picture is too large to preview.";
    if (IsWin32(code, Win32::kFileTooLarge)) return L"The file is too large to preview.";
    // Windows editions without the media components (the N editions) lack
    // Media Foundation's libraries: loading them is what fails.
    if (IsWin32(code, Win32::kModuleNotFound) || IsWin32(code, Win32::kDllNotFound)) {
        return L"Videos need Media Foundation, which this edition of Windows lacks. "
               L"Add the optional feature \u201CMedia Feature Pack\u201D in Settings.";
    }
    if (IsReadFailure(code)) return L"The file could not be read.";
    if (IsWin32(code, Win32::kWaitTimeout)) return L"The file took too long to decode.";
    return L"The file could not be decoded.";
}

std::wstring FailureSentence(const std::wstring& title, const std::wstring& reason) {
    if (title.empty()) return reason;
    if (reason.empty()) return title;
    return title + L". " + reason;
}

} // namespace Quivane
