#include "FormatTable.h"

#include "formats/gif/GifFormat.h"
#include "formats/png/PngFormat.h"
#include "formats/video/VideoFormats.h"
#include "formats/webp/WebPFormat.h"

#include <cwctype>
#include <string>

namespace Quivane {
namespace {

bool EndsWith(const std::wstring& text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && std::wstring_view(text).substr(text.size() - suffix.size()) == suffix;
}

} // namespace

const std::vector<FormatRow>& Formats() {
    // Registration writes the file types in this order.
    static const std::vector<FormatRow> rows = [] {
        std::vector<FormatRow> all = {GifFormat(), WebPFormat(), PngFormat()};
        std::vector<FormatRow> videos = VideoFormats();
        all.insert(all.end(), videos.begin(), videos.end());
        return all;
    }();
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
