// The time to decode a still PNG once, the yardstick of its thumbnail's time:
// the file read whole, its chunks walked and every row inflated, unfiltered
// and converted to BGRA by the same decoder the thumbnail uses, then dropped.
//   png_decode_once FILE [--runs N]
// prints the picture's size and the median time of N fresh decodes (3).
#include "formats/png/PngChunks.h"
#include "formats/png/PngImageDecoder.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

using namespace Quivane;

namespace {

bool ReadWholeFile(const wchar_t* path, std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok) bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 8u << 20));
        ok = ReadFile(file, bytes.data() + done, want, &read, nullptr) != 0 && read > 0;
        done += read;
    }
    CloseHandle(file);
    return ok;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// One decode; false when the file is not a PNG this decoder reads whole.
bool DecodeOnce(const wchar_t* path, PngImageFormat& format, std::uint64_t& checksum) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return false;
    ApngParseState state;
    if (ParseApngChunks(bytes.data(), bytes.size(), state, [] { return false; }) != ChunkWalkResult::Ok) return false;
    PngColours colours;
    if (!ReadPngImageFormat(state.ihdr, format) || !ReadPngColours(format, state.ancillaryChunks, colours)) return false;
    PngImageDecoder decoder;
    const PngImageEnd end = decoder.Decode(format, colours, state.imagePieces,
                                           [&](std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t* bgra,
                                               std::uint32_t count) {
                                               checksum += bgra[0] + bgra[(count - 1) * 4];
                                               return true;
                                           });
    return end == PngImageEnd::Complete;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: png_decode_once FILE [--runs N]\n");
        return 2;
    }
    int runs = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--runs") == 0) runs = std::max(1, _wtoi(argv[i + 1]));
    }
    std::vector<double> times;
    PngImageFormat format;
    std::uint64_t checksum = 0;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!DecodeOnce(argv[1], format, checksum)) {
            std::fwprintf(stderr, L"error: not a PNG decoded whole: %ls\n", argv[1]);
            return 1;
        }
        QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end));
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("size\t%ux%u\ndecode_ms\t%.1f\nchecksum\t%llu\n", format.width, format.height, median,
                static_cast<unsigned long long>(checksum));
    return 0;
}
