#pragma once
// Thin helpers over the Windows Imaging Component: the few calls every decoder
// and exporter makes, each with the argument choices the whole library shares.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quivane {

using Microsoft::WRL::ComPtr;

// A factory of its own for each operation; none outlives it.
[[nodiscard]] HRESULT CreateImagingFactory(ComPtr<IWICImagingFactory>& factory);

[[nodiscard]] HRESULT CreateDecoder(IWICImagingFactory* factory, IStream* stream, ComPtr<IWICBitmapDecoder>& decoder);

// GetSize, with an empty picture reported as E_FAIL.
[[nodiscard]] HRESULT GetNonEmptySize(IWICBitmapSource* source, UINT& width, UINT& height);

[[nodiscard]] HRESULT CreateConverter(IWICImagingFactory* factory, IWICBitmapSource* source, REFWICPixelFormatGUID format,
                        ComPtr<IWICFormatConverter>& converter);

// Reads an unsigned metadata item (VT_UI1, VT_UI2 or VT_UI4). False when the
// reader is missing, the query fails or the value has another type.
bool ReadMetadataUInt(IWICMetadataQueryReader* reader, const wchar_t* name, std::uint32_t& value);

// Copies a rectangle (or the whole picture for a null rect) into a zero-filled
// buffer of stride x rows bytes.
[[nodiscard]] HRESULT CopyPixelsToBuffer(IWICBitmapSource* source, const WICRect* rect, UINT stride, UINT rows,
                           std::vector<std::uint8_t>& buffer);

// An IWICBitmap holding its own copy of the pixels.
[[nodiscard]] HRESULT CreateBitmapFromPixels(IWICImagingFactory* factory, UINT width, UINT height, REFWICPixelFormatGUID format,
                               UINT stride, const std::uint8_t* pixels, std::size_t size, ComPtr<IWICBitmap>& bitmap);

} // namespace Quivane
