#pragma once
// Writes small RGBA APNG files chunk by chunk, their image data stored
// uncompressed in zlib streams, so tests state exactly which frames a file
// has, where its default image stands and which data is damaged.
#include <cstdint>
#include <optional>
#include <vector>

namespace QuivaneTest {

struct Rgba8 {
    std::uint8_t r, g, b, a;
};

// The zlib data of a width x height RGBA image of one colour.
std::vector<std::uint8_t> SolidImageData(std::uint32_t width, std::uint32_t height, Rgba8 colour);
// zlib data no inflater accepts: its one block is of the reserved type.
std::vector<std::uint8_t> DamagedImageData();

class ApngBuilder {
public:
    // `animated`: with an acTL, so the fcTL frames are an animation.
    ApngBuilder(std::uint32_t width, std::uint32_t height, bool animated = true);
    // Image data with no fcTL before it: a default image outside the animation.
    ApngBuilder& DefaultImage(std::vector<std::uint8_t> data);
    // A frame of the whole canvas, 100 ms, blended OVER the canvas (1) or
    // replacing it (SOURCE, 0). Its data is IDAT when no default image came
    // first, else fdAT; no chunk at all for std::nullopt.
    ApngBuilder& Frame(std::optional<std::vector<std::uint8_t>> data, std::uint8_t blendOp = 1);
    std::vector<std::uint8_t> Build() const;

private:
    std::uint32_t width_;
    std::uint32_t height_;
    bool animated_;
    std::optional<std::vector<std::uint8_t>> defaultImage_;
    std::vector<std::optional<std::vector<std::uint8_t>>> frames_;
    std::vector<std::uint8_t> blends_;
};

} // namespace QuivaneTest
