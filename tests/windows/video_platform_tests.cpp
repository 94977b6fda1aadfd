// Video stills from real MP4 and WMV files through the platform's media
// framework (in the test prefix, with the stand-in colour converter under
// tests/support): the representative still, positioned stills and pixels
// against ffmpeg's own decoding.
#include "PreviewWindowFixture.h"
#include "TestSupport.h"
#include "preview/PreviewHandlerCom.h"
#include "preview/PreviewStateMessage.h"
#include "formats/FormatTable.h"
#include "frames/FrameSource.h"
#include "formats/video/VideoFrame.h"
#include "formats/video/VideoFrameSource.h"
#include "thumbnail/ThumbnailProviderCom.h"
#include "formats/FormatSources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

constexpr std::uint64_t kSecond = 10'000'000;

// A video's source reads one still.
Pixels Still(const SourceFrames& read) {
    EXPECT_EQ(read.frames.size(), 1u);
    return read.frames.empty() ? Pixels{} : read.frames[0];
}

SourceFrames ReadVideo(const std::vector<std::uint8_t>& bytes) { return ReadSourceFrames(L".mp4", bytes); }

SourceFrames ReadVideoAt(const std::vector<std::uint8_t>& bytes, std::uint64_t position) {
    return ReadSourceStillAt(L".mp4", bytes, position);
}

DecodedVideoFrame AsFrame(const Pixels& pixels) {
    DecodedVideoFrame frame;
    frame.width = pixels.width;
    frame.height = pixels.height;
    frame.stride = pixels.width * 4;
    frame.pixels = pixels.bytes;
    return frame;
}

// Mean absolute difference per channel against a binary PPM (RGB).
double MeanDifference(const Pixels& pixels, const std::vector<std::uint8_t>& ppm) {
    const std::string text(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 64));
    unsigned width = 0, height = 0, maxValue = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maxValue, &consumed) != 3) return 1e9;
    if (width != pixels.width || height != pixels.height) return 1e9;
    const std::uint8_t* rgb = ppm.data() + consumed + 1;
    double total = 0;
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            const std::uint8_t* p = pixels.At(x, y);
            const std::uint8_t* e = rgb + (static_cast<size_t>(y) * width + x) * 3;
            total += std::abs(p[2] - e[0]) + std::abs(p[1] - e[1]) + std::abs(p[0] - e[2]);
        }
    }
    return total / (3.0 * width * height);
}

} // namespace

TEST(VideoPlatform, FullLoadShowsAStillPastTheBlackPart) {
    const SourceFrames read = ReadVideo(VideoFixture("black_then_bright.mp4"));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    EXPECT_NEAR(static_cast<double>(read.duration), 3.0 * kSecond, 0.2 * kSecond);
    EXPECT_GE(read.position, kSecond); // the black second is passed over
    const Pixels still = Still(read);
    EXPECT_EQ(still.width, 160u);
    EXPECT_EQ(still.height, 90u);
    EXPECT_TRUE(PassesDarknessTest(AsFrame(still)));
}

TEST(VideoPlatform, BlackThroughoutShowsTheFallbackStill) {
    const SourceFrames read = ReadVideo(VideoFixture("black.mp4"));
    ASSERT_EQ(read.hr, S_OK);
    ASSERT_EQ(read.frames.size(), 1u);
    EXPECT_FALSE(PassesDarknessTest(AsFrame(Still(read))));
}

TEST(VideoPlatform, FullHdGivesAFullHdPicture) {
    const SourceFrames read = ReadVideo(VideoFixture("hd1080.mp4"));
    ASSERT_EQ(read.hr, S_OK);
    const Pixels still = Still(read);
    EXPECT_EQ(still.width, 1920u);
    EXPECT_EQ(still.height, 1080u);
}

TEST(VideoPlatform, PositionedLoadsReportTheirTarget) {
    const auto bytes = VideoFixture("black_then_bright.mp4");
    const SourceFrames whole = ReadVideo(bytes);
    ASSERT_EQ(whole.hr, S_OK);
    const std::uint64_t duration = whole.duration;
    for (const std::uint64_t target : {std::uint64_t{0}, duration / 2, duration, duration + 5 * kSecond}) {
        const SourceFrames read = ReadVideoAt(bytes, target);
        ASSERT_EQ(read.hr, S_OK) << target;
        EXPECT_EQ(read.frames.size(), 1u);
        EXPECT_EQ(read.position, std::min(target, duration - 1));
        EXPECT_EQ(read.duration, duration);
    }
}

TEST(VideoPlatform, PixelsMatchFfmpegAtTheSameTime) {
    struct Case {
        const char* video;
        std::uint64_t at;
        const char* reference;
    };
    for (const Case& c : {Case{"black_then_bright.mp4", 2 * kSecond, "black_then_bright.frame20.ppm"},
                          Case{"pattern.wmv", kSecond, "pattern.frame10.ppm"}}) {
        const SourceFrames read = ReadVideoAt(VideoFixture(c.video), c.at);
        ASSERT_EQ(read.hr, S_OK) << c.video;
        EXPECT_LT(MeanDifference(Still(read), VideoFixture(c.reference)), 6.0) << c.video;
    }
}

TEST(VideoPlatform, ShortAndWmvFilesLoad) {
    const SourceFrames shortClip = ReadVideo(VideoFixture("short.mp4"));
    ASSERT_EQ(shortClip.hr, S_OK);
    EXPECT_LT(shortClip.duration, kSecond);
    const SourceFrames wmv = ReadVideo(VideoFixture("pattern.wmv"));
    ASSERT_EQ(wmv.hr, S_OK);
    EXPECT_NEAR(static_cast<double>(wmv.duration), 2.0 * kSecond, 0.3 * kSecond);
}

// Thumbnails see only the stream: each container is known by its first bytes.
TEST(VideoPlatform, EveryContainerIsKnownByItsHeaderAndShowsThePattern) {
    struct Case {
        const char* video;
        const wchar_t* format;
    };
    const auto pattern = VideoFixture("pattern.source10.ppm");
    for (const Case& c : {Case{"pattern.m4v", L"MPEG-4"}, Case{"pattern.mov", L"QuickTime"},
                          Case{"pattern.mkv", L"Matroska"}, Case{"pattern.avi", L"AVI"},
                          Case{"pattern.webm", L"WebM"}}) {
        const auto bytes = VideoFixture(c.video);
        const FormatRow* format = ChooseFormatForStream(StreamFromBytes(bytes).Get(), L"");
        ASSERT_NE(format, nullptr) << c.video;
        EXPECT_EQ(std::wstring(format->name), c.format) << c.video;
        const SourceFrames read = ReadVideoAt(bytes, kSecond);
        ASSERT_EQ(read.hr, S_OK) << c.video;
        EXPECT_NEAR(static_cast<double>(read.duration), 2.0 * kSecond, 0.3 * kSecond) << c.video;
        EXPECT_LT(MeanDifference(Still(read), pattern), 8.0) << c.video;
    }
}

TEST(VideoPlatform, AContainerWithImpossibleSizesFailsBeforeTheParserSeesIt) {
    // The moov box declares a 64-bit size (size field 1) far beyond the file.
    auto bytes = VideoFixture("short.mp4");
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
        if (std::memcmp(&bytes[at + 4], "moov", 4) == 0) break;
        ASSERT_GE(size, 8u);
        at += size;
    }
    ASSERT_LE(at + 16, bytes.size());
    const std::uint8_t hugeSize[12] = {0, 0, 0, 1, 'm', 'o', 'o', 'v', 0x7F, 0xFF, 0xFF, 0xFF};
    std::memcpy(&bytes[at], hugeSize, sizeof(hugeSize));
    const SourceFrames read = ReadVideo(bytes);
    EXPECT_EQ(read.hr, kDamagedVideoFile);
    EXPECT_EQ(read.frames.size(), 0u);
}

// --- Files cut short, and containers the platform plays ---------------------

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

void Put32(Bytes& b, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Offsets of the boxes along `path` (each the first of its type inside the
// one before), from [start, end) of `bytes`; empty when one is missing.
std::vector<std::size_t> BoxPath(const Bytes& bytes, std::size_t start, std::size_t end,
                                 std::initializer_list<const char*> path) {
    std::vector<std::size_t> found;
    for (const char* type : path) {
        std::size_t at = start;
        while (at + 8 <= end && std::memcmp(&bytes[at + 4], type, 4) != 0) at += Get32(bytes, at);
        if (at + 8 > end) return {};
        found.push_back(at);
        start = at + 8;
        end = at + Get32(bytes, at);
    }
    return found;
}

const std::initializer_list<const char*> kChunkOffsetPath = {"moov", "trak", "mdia", "minf", "stbl", "stco"};

// pattern.m4v (ftyp, free, mdat, moov) written "fast start", as web and phone
// videos are: the movie box first, its chunk offsets moved by its size.
struct FastStartVideo {
    Bytes bytes;
    std::size_t mdatAt = 0;
    std::vector<std::uint32_t> sampleSizes;
};

FastStartVideo MakeFastStart() {
    const Bytes original = VideoFixture("pattern.m4v");
    const std::size_t mdat = BoxPath(original, 0, original.size(), {"mdat"}).at(0);
    const std::size_t moov = BoxPath(original, 0, original.size(), {"moov"}).at(0);
    EXPECT_LT(mdat, moov);
    Bytes movie(original.begin() + moov, original.begin() + moov + Get32(original, moov));
    const std::size_t stco = BoxPath(movie, 0, movie.size(), kChunkOffsetPath).back();
    for (std::uint32_t i = 0; i < Get32(movie, stco + 12); ++i) {
        Put32(movie, stco + 16 + 4 * i, Get32(movie, stco + 16 + 4 * i) + movie.size());
    }
    FastStartVideo made;
    made.bytes.assign(original.begin(), original.begin() + mdat);
    made.bytes.insert(made.bytes.end(), movie.begin(), movie.end());
    made.mdatAt = made.bytes.size();
    made.bytes.insert(made.bytes.end(), original.begin() + mdat, original.begin() + moov);
    const std::size_t stsz = BoxPath(movie, 0, movie.size(), {"moov", "trak", "mdia", "minf", "stbl", "stsz"}).back();
    for (std::uint32_t i = 0; i < Get32(movie, stsz + 16); ++i) made.sampleSizes.push_back(Get32(movie, stsz + 20 + 4 * i));
    return made;
}

Bytes Cut(const Bytes& bytes, std::size_t size) { return Bytes(bytes.begin(), bytes.begin() + size); }

// The chunk offsets as 64-bit ones moved past 4 GiB: every parent grows by the difference.
Bytes WithFarChunkOffsets(const FastStartVideo& video) {
    Bytes bytes = video.bytes;
    const std::vector<std::size_t> path = BoxPath(bytes, 0, bytes.size(), kChunkOffsetPath);
    const std::size_t stco = path.back();
    const std::uint32_t count = Get32(bytes, stco + 12);
    Bytes co64(16 + 8 * count);
    Put32(co64, 0, co64.size());
    std::memcpy(&co64[4], "co64", 4);
    Put32(co64, 12, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Put32(co64, 16 + 8 * i, 1); // plus 4 GiB
        Put32(co64, 20 + 8 * i, Get32(bytes, stco + 16 + 4 * i));
    }
    const std::size_t grown = co64.size() - Get32(bytes, stco);
    for (std::size_t i = 0; i + 1 < path.size(); ++i) Put32(bytes, path[i], Get32(bytes, path[i]) + grown);
    bytes.erase(bytes.begin() + stco, bytes.begin() + stco + Get32(bytes, stco));
    bytes.insert(bytes.begin() + stco, co64.begin(), co64.end());
    return bytes;
}

struct Shape {
    const char* name;
    Bytes bytes;
    bool holdsSamples; // some of the video's samples, from the first
};

std::vector<Shape> CutShortShapes() {
    const FastStartVideo video = MakeFastStart();
    const std::size_t tenth = std::max<std::size_t>(1, video.sampleSizes.size() / 10);
    std::size_t heldEnd = video.mdatAt + 8;
    for (std::size_t i = 0; i < tenth; ++i) heldEnd += video.sampleSizes[i];
    return {{"cut before mdat", Cut(video.bytes, video.mdatAt), false},
            {"mdat header only", Cut(video.bytes, video.mdatAt + 8), false},
            {"co64 offsets past the end", WithFarChunkOffsets(video), false},
            {"mdat cut after 10% of its samples", Cut(video.bytes, heldEnd + 100), true}};
}

// What GetThumbnail runs, with the 5 s the issue allows as the bound of a hang.
constexpr DWORD kAnswerWithinMs = 5000;


} // namespace

TEST(VideoCutShort, ThumbnailFailsAsDamagedOrShowsWhatTheFileHolds) {
    for (const Shape& shape : CutShortShapes()) {
        SCOPED_TRACE(shape.name);
        HBITMAP bitmap = nullptr;
        const HRESULT hr = MakeThumbnailWithin(StreamFromBytes(shape.bytes).Get(), 96, &bitmap, kAnswerWithinMs);
        if (shape.holdsSamples) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_NE(bitmap, nullptr);
        } else {
            EXPECT_EQ(hr, kDamagedVideoFile) << Hex(hr);
            EXPECT_EQ(bitmap, nullptr);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
}

TEST(VideoCutShort, PreviewFailsAsDamagedOrShowsWhatTheFileHolds) {
    TestWindow host(320, 200);
    for (const Shape& shape : CutShortShapes()) {
        SCOPED_TRACE(shape.name);
        ComPtr<IPreviewHandler> handler;
        ASSERT_EQ(CreatePreviewHandler(IID_PPV_ARGS(&handler)), S_OK);
        ComPtr<IInitializeWithStream> init;
        ASSERT_EQ(handler.As(&init), S_OK);
        ASSERT_EQ(init->Initialize(StreamFromBytes(shape.bytes).Get(), STGM_READ), S_OK);
        const RECT area = host.ClientRect();
        ASSERT_EQ(handler->SetWindow(host.Handle(), &area), S_OK);
        ASSERT_EQ(handler->DoPreview(), S_OK);
        HWND preview = PreviewWindowOf(handler.Get());
        const auto ask = [&](WPARAM question) { return SendMessageW(preview, PreviewStateMessage(), question, 0); };
        // The load's outcome, whether or not the window could draw yet.
        EXPECT_TRUE(PumpUntil([&] { return ask(kPreviewStateLoadResult) != S_OK || ask(kPreviewStateFrameCount) == 1; },
                              kAnswerWithinMs));
        if (shape.holdsSamples) {
            EXPECT_EQ(ask(kPreviewStateLoadResult), S_OK);
            EXPECT_EQ(ask(kPreviewStateFrameCount), 1);
        } else {
            EXPECT_EQ(static_cast<HRESULT>(ask(kPreviewStateLoadResult)), kDamagedVideoFile);
            EXPECT_EQ(ask(kPreviewStateFrameCount), -1);
        }
        EXPECT_EQ(handler->Unload(), S_OK);
    }
}

namespace {

struct ToolRun {
    bool ended = false;
    DWORD exitCode = 0;
    std::string output; // stdout and stderr
};

// quivane.exe, beside this program, run with `arguments` in the current
// folder (the build tree's test folder). A run past `boundMs` is a hang: it
// is ended and reported as not ended.
ToolRun RunTool(const std::wstring& arguments, DWORD boundMs) {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring tool(self, length);
    tool = tool.substr(0, tool.find_last_of(L'\\') + 1) + L"quivane.exe";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    const wchar_t* outputName = L"tool-output.txt";
    HANDLE output = CreateFileW(outputName, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    ToolRun run;
    if (output == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::wstring line = L"\"" + tool + L"\" " + arguments;
    const BOOL started = CreateProcessW(tool.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(output);
    if (!started) return run;
    run.ended = WaitForSingleObject(process.hProcess, boundMs) == WAIT_OBJECT_0;
    if (!run.ended) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const Bytes written = ReadFileBytes(outputName);
    run.output.assign(written.begin(), written.end());
    return run;
}

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace

// Each command ends on its own, with the reason or a still, and its process
// exits cleanly. The damaged-file code can only come from the check made
// before the platform sees the file: no platform wait, no deadline, was involved.
TEST(VideoCutShort, TheToolEndsEveryCommandWithTheReasonOrAStill) {
    constexpr DWORD kHangBoundMs = 60000; // past the frames command's own deadline of 30 s
    const std::string damaged = "0x80070570";
    int index = 0;
    for (const Shape& shape : CutShortShapes()) {
        // The in-process tests above take every shape; here, one of each outcome.
        if (shape.name != std::string("mdat header only") && !shape.holdsSamples) continue;
        SCOPED_TRACE(shape.name);
        const std::wstring name = L"cut-short-" + std::to_wstring(index++);
        const std::wstring file = name + L".mp4";
        ASSERT_TRUE(WriteBytes(file, shape.bytes));
        const std::wstring commands[] = {L"frames " + file + L" " + name + L"-frames",
                                         L"thumbnail " + file + L" --size 96 --out " + name + L"-thumbnail.png",
                                         L"preview " + file + L" --size 200x120 --screenshot " + name +
                                             L"-preview.png --after-ms 50"};
        const std::wstring pictures[] = {name + L"-frames\\frame_0000.png", name + L"-thumbnail.png",
                                         name + L"-preview.png"};
        for (int command = 0; command < 3; ++command) {
            SCOPED_TRACE(command);
            const ToolRun run = RunTool(commands[command], kHangBoundMs);
            ASSERT_TRUE(run.ended) << run.output;
            if (shape.holdsSamples) {
                EXPECT_EQ(run.exitCode, 0u) << run.output;
                EXPECT_TRUE(FileExists(pictures[command]));
            } else {
                EXPECT_EQ(run.exitCode, 1u) << run.output;
                EXPECT_NE(run.output.find(damaged), std::string::npos) << run.output;
                EXPECT_FALSE(FileExists(pictures[command]));
            }
        }
    }
}

// AVI, Matroska, WebM and WMV cut where their data starts: each holds its
// headers whole and no data, and fails at once.
TEST(VideoCutShort, OtherContainersCutBeforeTheirFirstDataFailAsDamaged) {
    struct Case {
        const char* video;
        Bytes marker;    // what starts the data
        std::size_t keep; // bytes kept from the marker on
    };
    const std::uint8_t asfData[] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
    for (const Case& c : {Case{"pattern.avi", {'m', 'o', 'v', 'i'}, 4}, Case{"pattern.mkv", {0x1F, 0x43, 0xB6, 0x75}, 0},
                          Case{"pattern.webm", {0x1F, 0x43, 0xB6, 0x75}, 0},
                          Case{"pattern.wmv", Bytes(asfData, asfData + 8), 50}}) {
        SCOPED_TRACE(c.video);
        const Bytes whole = VideoFixture(c.video);
        const auto at = std::search(whole.begin(), whole.end(), c.marker.begin(), c.marker.end());
        ASSERT_NE(at, whole.end());
        EXPECT_EQ(ReadVideo(Cut(whole, (at - whole.begin()) + c.keep)).hr, kDamagedVideoFile);
    }
}

TEST(VideoCutShort, ACutRecordingsStillComesFromTheSamplesItHolds) {
    const Shape cut = CutShortShapes().back();
    ASSERT_TRUE(cut.holdsSamples);
    constexpr std::uint64_t kLastHeld = kSecond / 10; // two samples at 10 a second
    const SourceFrames representative = ReadVideo(cut.bytes);
    ASSERT_EQ(representative.hr, S_OK);
    EXPECT_EQ(representative.position, kLastHeld);
    EXPECT_EQ(Still(representative).width, 160u);
    const SourceFrames positioned = ReadVideoAt(cut.bytes, kSecond * 3 / 2);
    ASSERT_EQ(positioned.hr, S_OK);
    EXPECT_EQ(positioned.position, kLastHeld); // clamped to what the file holds
    EXPECT_NEAR(static_cast<double>(positioned.duration), 2.0 * kSecond, 0.3 * kSecond);
}

namespace {

std::uint64_t LittleEndianAt(const Bytes& bytes, std::size_t at, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
    return value;
}

// pattern.wmv cut after its header and `packets` whole data packets, or at `size` bytes.
struct AsfShape {
    const char* name;
    Bytes bytes;
    bool holdsAFrame; // some video frame lies whole in the packets kept
};

std::vector<AsfShape> CutShortWmvShapes() {
    const Bytes whole = VideoFixture("pattern.wmv");
    const std::size_t packetsAt = static_cast<std::size_t>(LittleEndianAt(whole, 16, 8)) + 50;
    const std::uint8_t properties[] = {0xA1, 0xDC, 0xAB, 0x8C};
    const auto at = std::search(whole.begin(), whole.end(), properties, properties + 4);
    const std::size_t packetSize = static_cast<std::size_t>(LittleEndianAt(whole, (at - whole.begin()) + 92, 4));
    // Its first frame is larger than a packet: the first packet holds no frame whole.
    return {{"its header and first packet", Cut(whole, packetsAt + packetSize), false},
            {"a quarter of it", Cut(whole, whole.size() / 4), true},
            {"half of it, mid-packet", Cut(whole, whole.size() / 2 + packetSize / 2), true}};
}

} // namespace

// A WMV cut short, as a download stopped early: the still comes from the
// frames its packets hold whole, and a file whose packets hold none fails at
// once as damaged. The platform's reader never waits for the rest.
TEST(VideoCutShort, AWmvStillComesFromThePacketsItHoldsOrItFailsAsDamaged) {
    const Bytes whole = VideoFixture("pattern.wmv");
    const SourceFrames original = ReadVideo(whole);
    ASSERT_EQ(original.hr, S_OK);
    for (const AsfShape& shape : CutShortWmvShapes()) {
        SCOPED_TRACE(shape.name);
        const SourceFrames read = ReadVideo(shape.bytes);
        HBITMAP bitmap = nullptr;
        const HRESULT thumbnail = MakeThumbnailWithin(StreamFromBytes(shape.bytes).Get(), 96, &bitmap, kAnswerWithinMs);
        if (bitmap != nullptr) DeleteObject(bitmap);
        if (!shape.holdsAFrame) {
            EXPECT_EQ(read.hr, kDamagedVideoFile) << Hex(read.hr);
            EXPECT_EQ(thumbnail, kDamagedVideoFile) << Hex(thumbnail);
            continue;
        }
        ASSERT_EQ(read.hr, S_OK);
        EXPECT_EQ(thumbnail, S_OK) << Hex(thumbnail);
        EXPECT_EQ(Still(read).width, 160u);
        // Within the part of the video the file holds (its packets are of a size and evenly spread in time).
        EXPECT_LE(read.position, original.duration * shape.bytes.size() / whole.size());
    }
}

namespace {

Bytes TopLevelBox(const char* type, std::size_t body, std::uint8_t fill = 0) {
    Bytes out(8 + body, fill);
    Put32(out, 0, out.size());
    std::memcpy(&out[4], type, 4);
    return out;
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

void ExpectAWholeStill(const Bytes& bytes) {
    const SourceFrames read = ReadVideo(bytes);
    ASSERT_EQ(read.hr, S_OK);
    const Pixels still = Still(read);
    EXPECT_EQ(still.width, 160u);
    EXPECT_EQ(still.height, 90u);
}

} // namespace

TEST(VideoContainersThePlatformPlays, TrailingZeroPadding) {
    ExpectAWholeStill(Joined({VideoFixture("pattern.m4v"), Bytes(16, 0)}));
}

TEST(VideoContainersThePlatformPlays, TrailingGarbage) {
    const std::string text = "appended by a tool that did not know better";
    ExpectAWholeStill(Joined({VideoFixture("pattern.m4v"), Bytes(text.begin(), text.end())}));
}

TEST(VideoContainersThePlatformPlays, FreeSkipWideAndUuidBoxes) {
    // After the data, before and after the movie: no chunk offset moves.
    const Bytes original = VideoFixture("pattern.m4v");
    const std::size_t moov = BoxPath(original, 0, original.size(), {"moov"}).at(0);
    ExpectAWholeStill(Joined({Cut(original, moov), TopLevelBox("free", 20), TopLevelBox("skip", 0),
                              TopLevelBox("wide", 0), TopLevelBox("uuid", 24, 0x5A),
                              Bytes(original.begin() + moov, original.end()), TopLevelBox("free", 100)}));
}

TEST(VideoContainersThePlatformPlays, ALastBoxOfSizeZero) {
    Bytes bytes = MakeFastStart().bytes;
    Put32(bytes, MakeFastStart().mdatAt, 0); // mdat runs to the end, as a live recording writes it
    ExpectAWholeStill(bytes);
}

TEST(VideoContainersThePlatformPlays, AnInterruptedRecording) {
    const Shape cut = CutShortShapes().back();
    ASSERT_TRUE(cut.holdsSamples);
    ExpectAWholeStill(cut.bytes);
}
