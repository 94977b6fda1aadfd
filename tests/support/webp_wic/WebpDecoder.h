#pragma once
// The test-only WIC WebP decoder: a decoder object over libwebp's animation
// decoder, its frames and their metadata readers, and the server's bookkeeping.
#include "../StandInServer.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace QuivaneTestWebp {

using Microsoft::WRL::ComPtr;

// {A103CB1E-6235-49ED-BFB5-2EDED6F3BF69}; register-test-codecs.sh writes the same.
extern const CLSID CLSID_QuivaneTestWebpDecoder;

// Held by every object the server hands out; keeps the DLL loaded.
using QuivaneTestServer::ServerReference;

// One composited canvas picture, premultiplied BGRA, rows of width * 4 bytes.
struct DecodedFrame {
    std::vector<std::uint8_t> pixels;
    std::uint32_t durationMs = 0;
};

struct DecodedImage {
    UINT width = 0;
    UINT height = 0;
    bool animated = false; // an ANIM file (frames carry durations), not a still
    std::vector<DecodedFrame> frames;
};

// Decodes every frame of a WebP file. WINCODEC_ERR_BADIMAGE for anything
// libwebp rejects, E_OUTOFMEMORY when the pictures would not fit.
HRESULT DecodeWebp(const std::uint8_t* data, size_t size, DecodedImage& out);

HRESULT CreateDecoder(REFIID iid, void** out);
HRESULT CreateFrame(std::shared_ptr<const DecodedImage> image, UINT index, IWICBitmapFrameDecode** out);
HRESULT CreateFrameMetadataReader(bool hasDuration, std::uint32_t durationMs, IWICMetadataQueryReader** out);

} // namespace QuivaneTestWebp
