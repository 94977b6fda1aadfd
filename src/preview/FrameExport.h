#pragma once
// The context menu's two commands: save the frame on screen as an image file,
// and copy it to the clipboard. The pixel work may run on any thread; the
// dialog and the clipboard belong to the window's thread.
#include "platform/OwnedHandles.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>

namespace Quivane {

// "dance_frame_001.png" for frame 0 of C:\clips\dance.gif; "preview" stands in
// for an empty name.
std::wstring MakeDefaultFrameFileName(const std::wstring& name, std::uint32_t frameIndex);

// The save dialog: the path the user chose, its extension added from the
// chosen type when typed without one. ERROR_CANCELLED when cancelled.
[[nodiscard]] HRESULT AskFrameFileName(HWND owner, const std::wstring& proposedName, std::wstring& chosen);

// Asks for a file name in the save dialog, then writes the frame.
[[nodiscard]] HRESULT SaveFrameAs(HWND owner, IWICBitmapSource* frame, const std::wstring& proposedName);

// The steps of writing a frame file after its pixels are prepared, in order.
enum class FrameFileStep { CreateTemporary, Encode, Replace };
// Asked before each step; a failure it returns ends the write there, as the
// platform's own failure at that step would. Only tests give one.
using FrameFileFault = HRESULT (*)(FrameFileStep step);

// Writes the frame to `path` as PNG, JPEG or 24-bit BMP, chosen by the path's
// extension (anything else is PNG). The pixels are prepared first, then
// written to a temporary file beside `path` that replaces it only once
// complete: on any failure the file at `path` is as it was, and no temporary
// file is left.
[[nodiscard]] HRESULT WriteFrameFile(IWICBitmapSource* frame, const std::wstring& path,
                                     FrameFileFault fault = nullptr);

// The frame as a top-down 32-bit CF_DIB block with premultiplied alpha, ready
// for the clipboard (any thread).
[[nodiscard]] HRESULT MakeClipboardDib(IWICBitmapSource* frame, UniqueGlobalMemory& dib);
// Puts such a block on the clipboard; the clipboard owns it on success.
[[nodiscard]] HRESULT PutDibOnClipboard(HWND owner, UniqueGlobalMemory& dib);
// Both, on the calling thread.
[[nodiscard]] HRESULT CopyFrameToClipboard(HWND owner, IWICBitmapSource* frame);

} // namespace Quivane
