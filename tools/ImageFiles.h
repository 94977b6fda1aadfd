#pragma once
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <string>

namespace QuivaneTool {

// Creates the folder `path` and any of its parents that are missing.
HRESULT CreateFolderAndParents(const std::wstring& path);

// Opens a file as a read-only stream.
HRESULT OpenReadStream(const std::wstring& path, Microsoft::WRL::ComPtr<IStream>& stream);

// Writes a picture as a PNG with straight (not premultiplied) alpha, which is
// what image viewers expect of a PNG.
HRESULT WriteStraightAlphaPng(IWICBitmapSource* source, const std::wstring& path);

// A PNG file of straight BGRA begun at `path`: its frame awaits its pixels
// (WriteSource, or WritePixels band by band), then both Commits.
HRESULT BeginStraightAlphaPng(IWICImagingFactory* factory, const std::wstring& path, UINT width, UINT height,
                              Microsoft::WRL::ComPtr<IWICBitmapEncoder>& encoder,
                              Microsoft::WRL::ComPtr<IWICBitmapFrameEncode>& frame);

// The same for a 32-bit bitmap of premultiplied BGRA (a thumbnail, a printed window).
HRESULT WriteDibSectionPng(HBITMAP bitmap, const std::wstring& path);

} // namespace QuivaneTool
