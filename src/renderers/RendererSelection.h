#pragma once
// Renderer choice by file name and by the first bytes of a stream. No Windows
// header here: both rules are pure functions over text and bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Quivane {

enum class RendererKind { None, Gif, WebP, Apng, VideoStill };

// Decides by the lower-cased suffix (".gif", ".webp", ".png", ".mp4", ".wmv").
RendererKind RendererKindForName(std::wstring_view name);

// One of "preview.gif", "preview.webp", "preview.png", "preview.mp4",
// "preview.wmv" for the first `count` bytes of a stream; GIF when unsure.
const wchar_t* SyntheticNameForHeader(const std::uint8_t* bytes, std::size_t count);

constexpr std::size_t kSniffHeaderSize = 16;

} // namespace Quivane
