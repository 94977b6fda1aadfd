#include "PngRowWriter.h"

#include "ImageFiles.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace QuivaneTool {

using Microsoft::WRL::ComPtr;

namespace {

// Rows a band holds: a few megabytes of even the widest picture.
std::uint32_t BandRows(std::uint32_t width) {
    return std::max<std::uint32_t>(1, std::min<std::uint32_t>(64, (4u << 20) / (std::max<std::uint32_t>(width, 1) * 4)));
}

} // namespace

HRESULT PngRowWriter::Begin(IWICImagingFactory* factory, const std::wstring& path, std::uint32_t width,
                            std::uint32_t height) {
    if (factory == nullptr || width == 0 || height == 0) return E_INVALIDARG;
    factory_ = factory;
    width_ = width;
    height_ = height;
    RETURN_IF_FAILED(BeginStraightAlphaPng(factory, path, width, height, encoder_, frame_));
    try {
        band_.assign(static_cast<std::size_t>(width) * 4 * BandRows(width), 0);
        straight_.resize(band_.size());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void PngRowWriter::AddRow(std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
    if (!frame_ || FAILED(failed_) || row >= height_ || row < bandStart_ + bandRows_) return;
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    const std::uint32_t capacity = static_cast<std::uint32_t>(band_.size() / stride);
    // Rows skipped on the way stay transparent, as the band was cleared.
    while (row >= bandStart_ + capacity && SUCCEEDED(failed_)) {
        bandRows_ = capacity;
        FlushBand();
    }
    if (FAILED(failed_)) return;
    bandRows_ = row - bandStart_ + 1;
    count = std::min(count, left < width_ ? width_ - left : 0);
    std::memcpy(band_.data() + stride * (row - bandStart_) + static_cast<std::size_t>(left) * 4, bgra,
                static_cast<std::size_t>(count) * 4);
}

// Writes the band's rows with straight alpha (converted as the platform's
// imaging converts) and starts the next band, cleared.
void PngRowWriter::FlushBand() {
    if (bandRows_ == 0) return;
    const UINT stride = width_ * 4;
    const UINT size = stride * bandRows_;
    ComPtr<IWICBitmap> premultiplied;
    ComPtr<IWICFormatConverter> converter;
    failed_ = Quivane::CreateBitmapFromPixels(factory_.Get(), width_, bandRows_, GUID_WICPixelFormat32bppPBGRA, stride,
                                              band_.data(), size, premultiplied);
    if (SUCCEEDED(failed_)) {
        failed_ = Quivane::CreateConverter(factory_.Get(), premultiplied.Get(), GUID_WICPixelFormat32bppBGRA, converter);
    }
    if (SUCCEEDED(failed_)) failed_ = converter->CopyPixels(nullptr, stride, size, straight_.data());
    if (SUCCEEDED(failed_)) failed_ = frame_->WritePixels(bandRows_, stride, size, straight_.data());
    bandStart_ += bandRows_;
    bandRows_ = 0;
    std::fill(band_.begin(), band_.end(), std::uint8_t{0});
}

HRESULT PngRowWriter::Finish() {
    if (!frame_) return E_UNEXPECTED;
    const std::uint32_t capacity = static_cast<std::uint32_t>(band_.size() / (static_cast<std::size_t>(width_) * 4));
    while (SUCCEEDED(failed_) && bandStart_ + bandRows_ < height_) {
        bandRows_ = std::min(capacity, height_ - bandStart_); // the transparent rows at the bottom
        FlushBand();
    }
    FlushBand();
    RETURN_IF_FAILED(failed_);
    RETURN_IF_FAILED(frame_->Commit());
    return encoder_->Commit();
}

} // namespace QuivaneTool
