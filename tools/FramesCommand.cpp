#include "FramesCommand.h"

#include "Failure.h"
#include "Console.h"
#include "ImageFiles.h"
#include "PngRowWriter.h"
#include "platform/HResult.h"
#include "VideoLoadWithin.h"
#include "frames/FrameSource.h"
#include "platform/WicImaging.h"
#include "formats/FormatTable.h"
#include "formats/FormatSources.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace QuivaneTool {
namespace {

using Microsoft::WRL::ComPtr;


double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring FrameFileName(std::uint64_t index) {
    wchar_t name[32];
    std::swprintf(name, 32, L"frame_%04llu.png", static_cast<unsigned long long>(index));
    return name;
}

// frames.tsv and one PNG per frame, written as each frame comes.
class FrameWriter {
public:
    ~FrameWriter() {
        if (tsv != nullptr) std::fclose(tsv);
    }
    HRESULT Create(const std::wstring& folder) {
        outDir = folder;
        RETURN_IF_FAILED(CreateFolderAndParents(outDir));
        tsv = _wfopen((outDir + L"\\frames.tsv").c_str(), L"wb");
        if (tsv == nullptr) return E_FAIL;
        std::fprintf(tsv, "index\tfile\tdelay_ms\twidth\theight\n");
        return Quivane::CreateImagingFactory(factory);
    }
    HRESULT Write(std::uint32_t index, const Quivane::FramePixels& frame) {
        ComPtr<IWICBitmap> bitmap;
        HRESULT hr = Quivane::CreateBitmapFromPixels(factory.Get(), frame.width, frame.height,
                                                     GUID_WICPixelFormat32bppPBGRA, static_cast<UINT>(frame.Stride()),
                                                     frame.pixels.data(), frame.pixels.size(), bitmap);
        const std::wstring name = FrameFileName(index);
        if (SUCCEEDED(hr)) hr = WriteStraightAlphaPng(bitmap.Get(), outDir + L"\\" + name);
        if (SUCCEEDED(hr)) {
            std::fprintf(tsv, "%u\t%ls\t%u\t%u\t%u\n", index, name.c_str(), frame.delayMs, frame.width, frame.height);
        }
        return hr;
    }
    // A frame written as its rows come: Begin, the rows, then Finish.
    HRESULT BeginRows(std::uint32_t index, std::uint32_t width, std::uint32_t height, std::uint32_t delayMs) {
        rowsFrame = {index, width, height, delayMs};
        return rows.Begin(factory.Get(), outDir + L"\\" + FrameFileName(index), width, height);
    }
    PngRowWriter& Rows() { return rows; }
    // A frame whose decoding failed: its file goes, half written.
    void DropRows() {
        rows = PngRowWriter();
        DeleteFileW((outDir + L"\\" + FrameFileName(rowsFrame.index)).c_str());
    }
    HRESULT FinishRows() {
        const std::wstring name = FrameFileName(rowsFrame.index);
        const HRESULT hr = rows.Finish();
        if (FAILED(hr)) {
            DeleteFileW((outDir + L"\\" + name).c_str()); // no half picture is left behind
            return hr;
        }
        std::fprintf(tsv, "%u\t%ls\t%u\t%u\t%u\n", rowsFrame.index, name.c_str(), rowsFrame.delayMs, rowsFrame.width,
                     rowsFrame.height);
        return S_OK;
    }

private:
    struct RowsFrame {
        std::uint32_t index, width, height, delayMs;
    };
    RowsFrame rowsFrame = {};
    PngRowWriter rows;
    std::wstring outDir;
    FILE* tsv = nullptr;
    ComPtr<IWICImagingFactory> factory;
};

void PrintTimes(double decodeMs, std::uint64_t count) {
    const double perFrame = count ? decodeMs / static_cast<double>(count) : 0.0;
    Print(L"decode_ms\t%.3f\nframes\t%llu\nms_per_frame\t%.3f\n", decodeMs, static_cast<unsigned long long>(count),
          perFrame);
}

// A still picture, its rows written as they are decoded: a picture of any size
// needs the memory of a few rows. E_NOTIMPL when the source cannot stream them.
int WriteStreamedStill(Quivane::FrameSource& source, const std::wstring& file, const std::wstring& outDir,
                       bool printTimes, const LARGE_INTEGER& start, HRESULT& streamed) {
    FrameWriter writer;
    HRESULT folder = S_OK;
    HRESULT began = S_OK;
    streamed = source.StreamRows(
        [&](std::uint32_t width, std::uint32_t height, std::uint32_t delayMs) {
            // Made only now: a file that fails before its first row leaves nothing behind.
            folder = writer.Create(outDir);
            if (SUCCEEDED(folder)) began = writer.BeginRows(0, width, height, delayMs);
            return FAILED(folder) ? folder : began;
        },
        [&](std::uint32_t row, std::uint32_t left, const std::uint8_t* bgra, std::uint32_t count) {
            writer.Rows().AddRow(row, left, bgra, count);
        });
    if (streamed == E_NOTIMPL) return kExitOk;
    const double decodeMs = MillisecondsSince(start);
    if (FAILED(folder)) return ReportFileFailure(outDir, L"cannot create the folder", folder);
    if (FAILED(began)) return ReportFileFailure(outDir, L"cannot write a frame", began);
    const HRESULT written = SUCCEEDED(streamed) ? writer.FinishRows() : S_OK;
    if (FAILED(streamed)) {
        writer.DropRows();
        return ReportFileFailure(file, L"cannot decode", streamed);
    }
    if (FAILED(written)) return ReportFileFailure(outDir, L"cannot write a frame", written);
    if (printTimes) PrintTimes(decodeMs, 1);
    Print(L"1 frames written to %ls\n", outDir.c_str());
    return kExitOk;
}

// Pictures: each frame is written as soon as it is composed, so an animation
// of any length needs the memory of one frame, not of all of them.
int WritePictureFrames(IStream* stream, const Quivane::FormatRow& format, const std::wstring& file,
                       const std::wstring& outDir, bool printTimes) {
    std::unique_ptr<Quivane::FrameSource> source = Quivane::CreateFrameSource(format);
    if (!source) return ReportFileFailure(file, L"no decoder", E_OUTOFMEMORY);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    HRESULT hr = source->Open(stream);
    if (SUCCEEDED(hr) && source->FrameCount() == 1) {
        HRESULT streamed = S_OK;
        const int exitCode = WriteStreamedStill(*source, file, outDir, printTimes, start, streamed);
        if (streamed != E_NOTIMPL) return exitCode;
    }
    Quivane::FramePixels frame;
    if (SUCCEEDED(hr)) hr = source->ReadFrame(0, frame);
    double decodeMs = MillisecondsSince(start);
    if (FAILED(hr)) return ReportFileFailure(file, L"cannot decode", hr);

    FrameWriter writer;
    hr = writer.Create(outDir);
    if (FAILED(hr)) return ReportFileFailure(outDir, L"cannot create the folder", hr);
    const std::uint32_t count = source->FrameCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        if (index > 0) {
            QueryPerformanceCounter(&start);
            hr = source->ReadFrame(index, frame);
            decodeMs += MillisecondsSince(start);
            if (FAILED(hr)) return ReportFileFailure(file, L"cannot decode", hr);
        }
        hr = writer.Write(index, frame);
        if (FAILED(hr)) return ReportFileFailure(outDir, L"cannot write a frame", hr);
    }
    if (printTimes) PrintTimes(decodeMs, count);
    Print(L"%u frames written to %ls\n", count, outDir.c_str());
    return kExitOk;
}

int WriteFrames(const std::wstring& file, const std::wstring& outDir, bool printTimes, double atSeconds) {
    ComPtr<IStream> stream;
    HRESULT hr = OpenReadStream(file, stream);
    if (FAILED(hr)) return ReportFileFailure(file, L"cannot open", hr);

    // The content decides; the name only when the first bytes are not known.
    const Quivane::FormatRow* format = nullptr;
    hr = Quivane::FindStreamFormat(stream.Get(), file, format);
    if (FAILED(hr)) return ReportFileFailure(file, L"cannot decode", hr);
    if (!format->decodesFromStream && atSeconds < 0) return WritePictureFrames(stream.Get(), *format, file, outDir, printTimes);

    // Videos: the representative still, or the still at a position, within the deadline.
    stream.Reset();
    Quivane::VideoStill still;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    hr = LoadVideoWithin(file, *format, atSeconds, kVideoLoadDeadlineMs, still);
    const double decodeMs = MillisecondsSince(start);
    if (FAILED(hr)) return ReportFileFailure(file, L"cannot decode", hr);

    FrameWriter writer;
    hr = writer.Create(outDir);
    if (FAILED(hr)) return ReportFileFailure(outDir, L"cannot create the folder", hr);
    const std::uint64_t count = 1; // a video's one still
    hr = writer.Write(0, still.frame);
    if (FAILED(hr)) return ReportFileFailure(outDir, L"cannot write a frame", hr);
    if (printTimes) {
        PrintTimes(decodeMs, count);
        if (still.timeline.duration > 0) {
            Print(L"position_s\t%.3f\nduration_s\t%.3f\n", static_cast<double>(still.timeline.position) / 1e7,
                  static_cast<double>(still.timeline.duration) / 1e7);
        }
    }
    Print(L"%llu frames written to %ls\n", static_cast<unsigned long long>(count), outDir.c_str());
    return kExitOk;
}

} // namespace

const CommandInfo& FramesCommandInfo() {
    static const CommandInfo info = {
        L"frames",
        {L"FILE", L"OUTDIR"},
        L"writes every composited frame as OUTDIR/frame_NNNN.png (straight alpha) and OUTDIR/frames.tsv",
        {{L"--time", nullptr, L"print the decode time in total and per frame (a video: its still's position and duration)"},
         {L"--at", L"SECONDS", L"a video's still at that position instead of the representative one"}},
        {}};
    return info;
}

int RunFramesCommand(const ParsedLine& line) {
    double at = -1;
    if (const std::wstring* value = line.Value(L"--at"); value != nullptr && !ReadDecimal(*value, 0.0, at)) {
        return ReportUsageError(FramesCommandInfo(), L"--at " + *value + L": give a position in seconds, 0 or more");
    }
    return WriteFrames(line.operands[0], line.operands[1], line.Has(L"--time"), at);
}

} // namespace QuivaneTool
