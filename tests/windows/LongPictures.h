#pragma once
// Still pictures longer than a drawn bitmap may be (20000 x 64 and the like),
// built in the test: their four quarters along the longer side are red,
// green, blue and white, so a picture of any size made from them is checked
// at the middle of each quarter.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace QuivaneTest {

using Bgra = std::array<std::uint8_t, 4>;

// Quarter q's colour, premultiplied B, G, R, A.
Bgra QuarterColour(int quarter);

// As a PNG from the platform's encoder (not interlaced).
std::vector<std::uint8_t> LongPng(UINT width, UINT height);
// As a GIF of one image covering the screen.
std::vector<std::uint8_t> LongGif(std::uint16_t width, std::uint16_t height);

// Whether a picture (rows of width * 4 bytes) of the long picture's shape
// shows the quarter colours at the middle of each quarter.
::testing::AssertionResult ShowsTheQuarters(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height);

} // namespace QuivaneTest
