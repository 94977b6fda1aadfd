// The yardstick of our GIF decoder: Debian's libav (its gif demuxer and
// decoder) turning the same file, read from memory, into every composed frame
// as BGRA, on one thread, in the same process as ours. For measurement only;
// built when CMake finds libav, registered per file named in
// QUIVANE_BENCH_GIFS (paths separated by ':').
#if QUIVANE_BENCH_LIBAV
#include "BenchFiles.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct MemoryReader {
    const Bytes* bytes = nullptr;
    std::size_t offset = 0;
};

int Read(void* opaque, std::uint8_t* buffer, int size) {
    auto& reader = *static_cast<MemoryReader*>(opaque);
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), reader.bytes->size() - reader.offset);
    if (count == 0) return AVERROR_EOF;
    std::memcpy(buffer, reader.bytes->data() + reader.offset, count);
    reader.offset += count;
    return static_cast<int>(count);
}

std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
    auto& reader = *static_cast<MemoryReader*>(opaque);
    const auto size = static_cast<std::int64_t>(reader.bytes->size());
    if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) return size;
    const std::int64_t base = (whence & ~AVSEEK_FORCE) == SEEK_CUR ? static_cast<std::int64_t>(reader.offset)
                              : (whence & ~AVSEEK_FORCE) == SEEK_END ? size
                                                                      : 0;
    if (base + offset < 0 || base + offset > size) return AVERROR(EINVAL);
    reader.offset = static_cast<std::size_t>(base + offset);
    return base + offset;
}

struct Demuxer {
    MemoryReader reader;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    ~Demuxer() {
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io != nullptr) av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

// Every frame decoded; the frame count, or -1 when libav fails. `format` gets the frames' pixel format.
int DecodeEveryFrame(const Bytes& bytes, AVFrame* frame, AVPacket* packet, int& format) {
    Demuxer demuxer;
    demuxer.reader.bytes = &bytes;
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferSize));
    demuxer.io = avio_alloc_context(buffer, kBufferSize, 0, &demuxer.reader, Read, nullptr, Seek);
    if (demuxer.io == nullptr) return -1;
    demuxer.format = avformat_alloc_context();
    if (demuxer.format == nullptr) return -1;
    demuxer.format->pb = demuxer.io;
    if (avformat_open_input(&demuxer.format, nullptr, av_find_input_format("gif"), nullptr) < 0) return -1;
    if (demuxer.format->nb_streams < 1) return -1;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_GIF);
    demuxer.codec = avcodec_alloc_context3(decoder);
    if (demuxer.codec == nullptr ||
        avcodec_parameters_to_context(demuxer.codec, demuxer.format->streams[0]->codecpar) < 0) {
        return -1;
    }
    demuxer.codec->thread_count = 1;
    if (avcodec_open2(demuxer.codec, decoder, nullptr) < 0) return -1;
    int frames = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(demuxer.codec, frame) == 0) {
            format = frame->format;
            benchmark::DoNotOptimize(frame->data[0]);
            av_frame_unref(frame);
            ++frames;
        }
    };
    while (av_read_frame(demuxer.format, packet) >= 0) {
        const int sent = avcodec_send_packet(demuxer.codec, packet);
        av_packet_unref(packet);
        if (sent < 0) return -1;
        receive();
    }
    avcodec_send_packet(demuxer.codec, nullptr);
    receive();
    return frames;
}

void LibavEveryFrame(benchmark::State& state, const std::shared_ptr<Bytes>& file) {
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int format = AV_PIX_FMT_NONE;
    int frames = 0;
    for (auto _ : state) frames = DecodeEveryFrame(*file, frame, packet, format);
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (frames <= 0) {
        state.SkipWithError("libav cannot decode it");
    } else if (format != AV_PIX_FMT_BGRA) {
        state.SkipWithError("libav's frames are not BGRA");
    }
}

const bool kRegistered = QuivaneBench::ForEachBenchFile("QUIVANE_BENCH_GIFS", [](const std::string& path,
                                                                                const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    auto file = std::make_shared<Bytes>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    benchmark::RegisterBenchmark(("BM_LibavGifDecode/" + name).c_str(), LibavEveryFrame, file)
        ->Unit(benchmark::kMillisecond);
});

} // namespace
#endif
