#include "InfoLineText.h"

#include "VideoPosition.h"

namespace Quivane {

namespace {

constexpr wchar_t kSeparator[] = L" \u00B7 ";

void AppendPart(std::wstring& line, const std::wstring& part) {
    if (part.empty()) return;
    if (!line.empty()) line += kSeparator;
    line += part;
}

std::wstring SizeText(const MediaFacts& facts) {
    if (facts.width == 0 || facts.height == 0) return {};
    return std::to_wstring(facts.width) + L"\u00D7" + std::to_wstring(facts.height);
}

std::wstring TwoDigits(std::uint64_t value) { return (value < 10 ? L"0" : L"") + std::to_wstring(value); }

} // namespace

std::wstring ClockText(std::uint64_t position) {
    const std::uint64_t tenths = position / (kUnitsPerSecond / 10);
    const std::uint64_t seconds = tenths / 10;
    const std::uint64_t minutes = seconds / 60;
    const std::uint64_t hours = minutes / 60;
    std::wstring text = hours > 0 ? std::to_wstring(hours) + L":" + TwoDigits(minutes % 60) : std::to_wstring(minutes);
    return text + L":" + TwoDigits(seconds % 60) + L"." + std::to_wstring(tenths % 10);
}

std::wstring SpeedText(std::uint32_t percent) {
    std::wstring text = std::to_wstring(percent / 100);
    if (const std::uint32_t hundredths = percent % 100; hundredths != 0) {
        text += L"." + TwoDigits(hundredths);
        if (text.back() == L'0') text.pop_back();
    }
    return text + L"\u00D7";
}

std::wstring AnimationInfoLine(const MediaFacts& facts, std::uint32_t frameIndex, std::uint64_t frameCount,
                               std::uint32_t delayMs, std::uint32_t speedPercent) {
    std::wstring line;
    if (frameCount > 1) {
        AppendPart(line, std::to_wstring(static_cast<std::uint64_t>(frameIndex) + 1) + L" / " +
                             std::to_wstring(frameCount));
        AppendPart(line, std::to_wstring(delayMs) + L" ms");
    }
    AppendPart(line, SizeText(facts));
    AppendPart(line, facts.format);
    if (frameCount > 1 && speedPercent != 100) AppendPart(line, SpeedText(speedPercent));
    return line;
}

std::wstring VideoInfoLine(const MediaFacts& facts, std::uint64_t position, std::uint64_t duration) {
    std::wstring line = ClockText(position);
    if (duration > 0) line += L" / " + ClockText(duration);
    AppendPart(line, SizeText(facts));
    AppendPart(line, facts.codec.empty() ? facts.format : facts.codec);
    return line;
}

} // namespace Quivane
