#pragma once
// The context menu's two commands: save the frame on screen as an image file,
// and copy it to the clipboard.
#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>

namespace Quivane {

// "dance_frame_001.png" for frame 0 of C:\clips\dance.gif; "preview" stands in
// for an empty name.
std::wstring MakeDefaultFrameFileName(const std::wstring& name, std::uint32_t frameIndex);

// Asks for a file name in the save dialog, then writes the frame.
[[nodiscard]] HRESULT SaveFrameAs(HWND owner, IWICBitmapSource* frame, const std::wstring& proposedName);

// Has the frame's pixels made now if they are made only when first read (a
// frame composed again at full size): a frame the memory rules refuse then
// fails here, before any file or clipboard is touched.
[[nodiscard]] HRESULT ObtainFramePixels(IWICBitmapSource* frame);

// Writes the frame to `path` as PNG, JPEG or 24-bit BMP, chosen by the path's
// extension (anything else is PNG).
[[nodiscard]] HRESULT WriteFrameFile(IWICBitmapSource* frame, const std::wstring& path);

// Puts the frame on the clipboard as a top-down 32-bit CF_DIB with premultiplied alpha.
[[nodiscard]] HRESULT CopyFrameToClipboard(HWND owner, IWICBitmapSource* frame);

} // namespace Quivane
