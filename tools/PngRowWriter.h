#pragma once
// A PNG with straight alpha written band by band as a picture's rows come,
// so that a picture of any size needs the memory of a few of its rows.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

namespace QuivaneTool {

class PngRowWriter {
public:
    // A picture of width x height pixels, to be written at `path`.
    [[nodiscard]] HRESULT Begin(IWICImagingFactory* factory, const std::wstring& path, std::uint32_t width,
                                std::uint32_t height);
    // Row `row` (premultiplied BGRA): `count` pixels from column `left`, the
    // rest transparent. Rows come top to bottom; a row never given is transparent.
    void AddRow(std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count);
    // Writes what is left and ends the file; the first failure on the way, if any.
    [[nodiscard]] HRESULT Finish();

private:
    void FlushBand();

    Microsoft::WRL::ComPtr<IWICImagingFactory> factory_;
    Microsoft::WRL::ComPtr<IWICBitmapEncoder> encoder_;
    Microsoft::WRL::ComPtr<IWICBitmapFrameEncode> frame_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t bandStart_ = 0; // the first row of the band being filled
    std::uint32_t bandRows_ = 0;  // rows the band holds
    std::vector<std::uint8_t> band_; // premultiplied, as the rows come
    std::vector<std::uint8_t> straight_;
    HRESULT failed_ = S_OK;
};

} // namespace QuivaneTool
