#include "TestSupport.h"

#include "platform/ComAdopt.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"
#include "formats/FormatSources.h"
#include "frames/FrameSource.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace QuivaneTest {

ComPtr<IStream> StreamFromBytes(const std::vector<std::uint8_t>& bytes) {
    ComPtr<IStream> stream;
    Quivane::AdoptReference(stream, SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
    return stream;
}

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) bytes.clear();
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

std::wstring WindowsPathFromUnix(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return path;
}

std::wstring ConformancePath(const std::string& relative) {
    return WindowsPathFromUnix(std::string(QUIVANE_CONFORMANCE_DIR) + "/" + relative);
}

std::vector<std::string> ConformanceGifNames() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(ConformancePath("gif/gifs/*.gif").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        names.emplace_back(name.begin(), name.end() - 4); // ASCII names; drop ".gif"
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

HRESULT ReadPremultipliedBgra(IWICBitmapSource* source, Pixels& out) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(Quivane::CreateConverter(factory.Get(), source, GUID_WICPixelFormat32bppPBGRA, converter));
    RETURN_IF_FAILED(converter->GetSize(&out.width, &out.height));
    return Quivane::CopyPixelsToBuffer(converter.Get(), nullptr, out.width * 4, out.height, out.bytes);
}

HRESULT DecodeFileAsPremultipliedBgra(const std::wstring& path, Pixels& out) {
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(Quivane::CreateImagingFactory(factory));
    ComPtr<IWICBitmapDecoder> decoder;
    RETURN_IF_FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                        WICDecodeMetadataCacheOnLoad, &decoder));
    ComPtr<IWICBitmapFrameDecode> frame;
    RETURN_IF_FAILED(decoder->GetFrame(0, &frame));
    // Premultiply here rather than trusting the converter's rounding: round(c * a / 255).
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(Quivane::CreateConverter(factory.Get(), frame.Get(), GUID_WICPixelFormat32bppBGRA, converter));
    RETURN_IF_FAILED(converter->GetSize(&out.width, &out.height));
    RETURN_IF_FAILED(Quivane::CopyPixelsToBuffer(converter.Get(), nullptr, out.width * 4, out.height, out.bytes));
    for (size_t i = 0; i < out.bytes.size(); i += 4) {
        const unsigned alpha = out.bytes[i + 3];
        for (int c = 0; c < 3; ++c) out.bytes[i + c] = static_cast<std::uint8_t>((out.bytes[i + c] * alpha + 127) / 255);
    }
    return S_OK;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

} // namespace QuivaneTest

namespace QuivaneTest {

Quivane::FramePixels SolidPixels(UINT width, UINT height, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                                 std::uint32_t delayMs) {
    Quivane::FramePixels frame;
    frame.width = width;
    frame.height = height;
    frame.delayMs = delayMs;
    frame.pixels.resize(frame.Stride() * height);
    for (size_t i = 0; i < frame.pixels.size(); i += 4) {
        frame.pixels[i] = b;
        frame.pixels[i + 1] = g;
        frame.pixels[i + 2] = r;
        frame.pixels[i + 3] = 255;
    }
    return frame;
}

std::vector<Quivane::FramePixels> SolidFrames(size_t count, UINT width, UINT height) {
    std::vector<Quivane::FramePixels> frames;
    for (size_t i = 0; i < count; ++i) {
        frames.push_back(SolidPixels(width, height, 0, static_cast<std::uint8_t>(i), 255,
                                     static_cast<std::uint32_t>(40 * (i + 1))));
    }
    return frames;
}

std::unique_ptr<Quivane::StoreMedia> StoreMediaOver(std::vector<Quivane::FramePixels> frames,
                                                          std::optional<Quivane::VideoTimeline> timeline) {
    auto store = std::make_shared<Quivane::FrameStore>(static_cast<std::uint32_t>(frames.size()));
    for (std::uint32_t index = 0; index < frames.size(); ++index) store->Put(index, std::move(frames[index]));
    return std::make_unique<Quivane::StoreMedia>(std::move(store), timeline);
}

namespace {

class FailingStream final : public IStream {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override {
        if (read) *read = 0;
        return STG_E_READFAULT;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return STG_E_SEEKERROR; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    LONG references_ = 1;
};

} // namespace

ComPtr<IStream> UnreadableStream() {
    ComPtr<IStream> stream;
    Quivane::AdoptReference(stream, new FailingStream());
    return stream;
}

} // namespace QuivaneTest

namespace QuivaneTest {

namespace {

HRESULT ToPixels(const Quivane::FramePixels& frame, Pixels& out) {
    if (frame.pixels.size() != frame.Stride() * frame.height) return E_UNEXPECTED;
    out.width = frame.width;
    out.height = frame.height;
    out.bytes = frame.pixels;
    return S_OK;
}

// Opens the format's source on a stream over the bytes, as the preview does.
HRESULT OpenSource(const wchar_t* extension, const std::vector<std::uint8_t>& bytes,
                   std::unique_ptr<Quivane::FrameSource>& source, ComPtr<IStream>& stream,
                   const Quivane::StopToken& stop = {}) {
    source = Quivane::CreateFrameSource(FormatWithExtension(extension), stop);
    if (!source) return E_OUTOFMEMORY;
    stream = StreamFromBytes(bytes);
    return source->Open(stream.Get());
}

} // namespace

SourceFrames ReadSourceFrames(const wchar_t* extension, const std::vector<std::uint8_t>& bytes,
                              const Quivane::StopToken& stop) {
    SourceFrames out;
    std::unique_ptr<Quivane::FrameSource> source;
    ComPtr<IStream> stream;
    out.hr = OpenSource(extension, bytes, source, stream, stop);
    if (FAILED(out.hr)) return out;
    for (std::uint32_t index = 0; index < source->FrameCount(); ++index) {
        Quivane::FramePixels frame;
        Pixels pixels;
        out.hr = source->ReadFrame(index, frame);
        if (SUCCEEDED(out.hr)) out.hr = ToPixels(frame, pixels);
        if (FAILED(out.hr)) return out;
        out.frames.push_back(std::move(pixels));
        out.delays.push_back(frame.delayMs);
    }
    out.duration = source->Duration();
    out.position = source->ShownPosition();
    return out;
}

SourceFrames ReadSourceStillAt(const wchar_t* extension, const std::vector<std::uint8_t>& bytes,
                               std::uint64_t position) {
    SourceFrames out;
    std::unique_ptr<Quivane::FrameSource> source;
    ComPtr<IStream> stream;
    out.hr = OpenSource(extension, bytes, source, stream);
    if (FAILED(out.hr)) return out;
    Quivane::FramePixels still;
    Pixels pixels;
    out.hr = source->ReadStillAt(position, still, out.position);
    if (SUCCEEDED(out.hr)) out.hr = ToPixels(still, pixels);
    if (FAILED(out.hr)) return out;
    out.frames.push_back(std::move(pixels));
    out.delays.push_back(still.delayMs);
    out.duration = source->Duration();
    return out;
}

::testing::AssertionResult ReadsWholeFramesOrFails(const wchar_t* extension, const std::vector<std::uint8_t>& bytes) {
    const SourceFrames read = ReadSourceFrames(extension, bytes);
    if (SUCCEEDED(read.hr) && read.hr != S_OK) {
        return ::testing::AssertionFailure() << "unexpected success code " << Hex(read.hr);
    }
    if (read.hr == S_OK && read.frames.empty()) return ::testing::AssertionFailure() << "success without frames";
    for (size_t i = 0; i < read.frames.size(); ++i) {
        const Pixels& pixels = read.frames[i];
        if (pixels.width != read.frames[0].width || pixels.height != read.frames[0].height) {
            return ::testing::AssertionFailure() << "frame " << i << " is not canvas-sized";
        }
        for (size_t p = 0; p < pixels.bytes.size(); p += 4) {
            const std::uint8_t* px = &pixels.bytes[p];
            if (px[0] > px[3] || px[1] > px[3] || px[2] > px[3]) {
                return ::testing::AssertionFailure() << "frame " << i << " is not premultiplied";
            }
        }
        if (read.delays[i] < 10) return ::testing::AssertionFailure() << "delay under the floor";
    }
    return ::testing::AssertionSuccess();
}

HMODULE QuivaneServer() {
    static HMODULE dll = LoadLibraryW(L"Quivane.dll");
    return dll;
}

ComPtr<IClassFactory> ServerClassFactory(REFCLSID clsid) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get = ServerExport<GetClassObject>(QuivaneServer(), "DllGetClassObject");
    ComPtr<IClassFactory> factory;
    if (get != nullptr) get(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    return factory;
}

const Quivane::FormatRow& FormatWithExtension(const wchar_t* extension) {
    const Quivane::FormatRow* format = Quivane::FormatForName(extension);
    if (format == nullptr) std::abort(); // a test names a format the table lacks
    return *format;
}

std::vector<std::uint8_t> SourceTreeFile(const std::string& relative) {
    const char* source = std::getenv("QUIVANE_SOURCE_DIR");
    if (source == nullptr) return {};
    return ReadFileBytes(WindowsPathFromUnix(std::string(source) + "/" + relative));
}

std::vector<std::uint8_t> VideoFixture(const std::string& name) { return SourceTreeFile("tests/fixtures/video/" + name); }

} // namespace QuivaneTest
