#include "FrameExport.h"

#include "platform/ComAdopt.h"
#include "platform/HResult.h"
#include "platform/WicImaging.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

namespace Quivane {
namespace {

struct EncodingChoice {
    GUID container;
    WICPixelFormatGUID pixelFormat;
};

EncodingChoice ChooseEncoding(const std::wstring& path) {
    const wchar_t* extension = PathFindExtensionW(path.c_str());
    if (lstrcmpiW(extension, L".jpg") == 0 || lstrcmpiW(extension, L".jpeg") == 0) {
        return {GUID_ContainerFormatJpeg, GUID_WICPixelFormat24bppBGR};
    }
    if (lstrcmpiW(extension, L".bmp") == 0) return {GUID_ContainerFormatBmp, GUID_WICPixelFormat24bppBGR};
    return {GUID_ContainerFormatPng, GUID_WICPixelFormat32bppPBGRA};
}

// Bytes per pixel of the formats an encoder may settle on; 0 for any other.
UINT BytesPerPixel(const WICPixelFormatGUID& format) {
    if (format == GUID_WICPixelFormat32bppPBGRA || format == GUID_WICPixelFormat32bppBGRA ||
        format == GUID_WICPixelFormat32bppBGR || format == GUID_WICPixelFormat32bppRGBA) {
        return 4;
    }
    if (format == GUID_WICPixelFormat24bppBGR || format == GUID_WICPixelFormat24bppRGB) return 3;
    return 0;
}

HRESULT SetJpegQuality(IPropertyBag2* options) {
    PROPBAG2 option = {};
    option.dwType = PROPBAG2_TYPE_DATA;
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 0.9f;
    const HRESULT hr = options->Write(1, &option, &value);
    VariantClear(&value);
    return hr;
}

// The frame's pixels in the format the encoder will store.
struct PreparedFrame {
    UINT width = 0;
    UINT height = 0;
    WICPixelFormatGUID format = GUID_WICPixelFormatUndefined;
    UINT bytesPerPixel = 0;
    std::vector<std::uint8_t> pixels;
};

// Starts a frame of the container's encoder over `stream`, sized and with the
// pixel format the encoder settles on when offered the one the choice wants.
HRESULT StartEncoding(IWICImagingFactory* factory, const EncodingChoice& choice, UINT width, UINT height,
                      IStream* stream, ComPtr<IWICBitmapEncoder>& encoder, ComPtr<IWICBitmapFrameEncode>& frameEncoder,
                      WICPixelFormatGUID& format) {
    RETURN_IF_FAILED(factory->CreateEncoder(choice.container, nullptr, &encoder));
    RETURN_IF_FAILED(encoder->Initialize(stream, WICBitmapEncoderNoCache));
    ComPtr<IPropertyBag2> options;
    RETURN_IF_FAILED(encoder->CreateNewFrame(&frameEncoder, &options));
    // Without the quality option the encoder keeps its own default.
    if (choice.container == GUID_ContainerFormatJpeg && options) static_cast<void>(SetJpegQuality(options.Get()));
    RETURN_IF_FAILED(frameEncoder->Initialize(options.Get()));
    RETURN_IF_FAILED(frameEncoder->SetSize(width, height));
    // The encoder answers with the format it will store. The PNG encoder takes
    // no premultiplied pixels: handing it premultiplied bytes as straight ones
    // would darken every translucent pixel, so the frame is converted to
    // whatever format the encoder settled on.
    format = choice.pixelFormat;
    return frameEncoder->SetPixelFormat(&format);
}

// Converts the frame to the format the encoder will store, which a throwaway
// encoder over memory names before any file is opened.
HRESULT PrepareFrame(IWICImagingFactory* factory, IWICBitmapSource* frame, const EncodingChoice& choice,
                     PreparedFrame& prepared) {
    RETURN_IF_FAILED(GetNonEmptySize(frame, prepared.width, prepared.height));
    {
        ComPtr<IStream> memory;
        AdoptReference(memory, SHCreateMemStream(nullptr, 0));
        if (!memory) return E_OUTOFMEMORY;
        ComPtr<IWICBitmapEncoder> encoder;
        ComPtr<IWICBitmapFrameEncode> frameEncoder;
        RETURN_IF_FAILED(StartEncoding(factory, choice, prepared.width, prepared.height, memory.Get(), encoder,
                                       frameEncoder, prepared.format));
    }
    prepared.bytesPerPixel = BytesPerPixel(prepared.format);
    if (prepared.bytesPerPixel == 0) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(CreateConverter(factory, frame, prepared.format, converter));
    return CopyPixelsToBuffer(converter.Get(), nullptr, prepared.bytesPerPixel * prepared.width, prepared.height,
                              prepared.pixels);
}

template <typename BeforeCommit>
HRESULT EncodeFrame(IWICImagingFactory* factory, const EncodingChoice& choice, const PreparedFrame& prepared,
                    IStream* stream, BeforeCommit beforeCommit) {
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frameEncoder;
    WICPixelFormatGUID format = GUID_WICPixelFormatUndefined;
    RETURN_IF_FAILED(StartEncoding(factory, choice, prepared.width, prepared.height, stream, encoder, frameEncoder,
                                   format));
    if (format != prepared.format) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT; // the same encoder answered otherwise
    RETURN_IF_FAILED(frameEncoder->WritePixels(prepared.height, prepared.bytesPerPixel * prepared.width,
                                               static_cast<UINT>(prepared.pixels.size()),
                                               const_cast<BYTE*>(prepared.pixels.data())));
    RETURN_IF_FAILED(beforeCommit());
    RETURN_IF_FAILED(frameEncoder->Commit());
    RETURN_IF_FAILED(encoder->Commit());
    return stream->Commit(STGC_DEFAULT);
}

// A file made beside the target, in its folder and so on its volume, that
// replaces the target by a rename; deleted unless it did.
class TemporaryFileBeside {
public:
    TemporaryFileBeside() = default;
    ~TemporaryFileBeside() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    TemporaryFileBeside(const TemporaryFileBeside&) = delete;
    TemporaryFileBeside& operator=(const TemporaryFileBeside&) = delete;

    HRESULT Create(const std::wstring& target) {
        wchar_t folder[MAX_PATH];
        wchar_t* namePart = nullptr;
        const DWORD length = GetFullPathNameW(target.c_str(), MAX_PATH, folder, &namePart);
        if (length == 0) return HResultFromLastError();
        if (length >= MAX_PATH || namePart == nullptr) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        *namePart = L'\0';
        wchar_t made[MAX_PATH];
        if (GetTempFileNameW(folder, L"qvn", 0, made) == 0) return HResultFromLastError(); // creates it
        path_ = made;
        return S_OK;
    }
    const std::wstring& Path() const { return path_; }

    HRESULT Replace(const std::wstring& target) {
        RETURN_IF_FAILED(CheckReplaceable(target));
        if (!MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return HResultFromLastError();
        }
        path_.clear();
        return S_OK;
    }

private:
    // Windows refuses to rename over a read-only file, or over one another
    // program holds open without sharing its deletion; both are asked here so
    // that the answer is the same on every system that runs us.
    static HRESULT CheckReplaceable(const std::wstring& target) {
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK; // a new file
        if (attributes & FILE_ATTRIBUTE_READONLY) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        HANDLE probe = CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return HResultFromLastError();
        CloseHandle(probe);
        return S_OK;
    }

    std::wstring path_;
};

} // namespace

std::wstring MakeDefaultFrameFileName(const std::wstring& name, std::uint32_t frameIndex) {
    const wchar_t* fileName = name.empty() ? L"" : PathFindFileNameW(name.c_str());
    if (fileName == nullptr || fileName[0] == L'\0') fileName = L"preview";
    wchar_t base[MAX_PATH];
    lstrcpynW(base, fileName, MAX_PATH);
    PathRemoveExtensionW(base);
    wchar_t suffix[64];
    std::swprintf(suffix, 64, L"_frame_%03u.png", static_cast<unsigned>(frameIndex) + 1u);
    return std::wstring(base) + suffix;
}

HRESULT WriteFrameFile(IWICBitmapSource* frame, const std::wstring& path, FrameFileFault fault) {
    if (frame == nullptr) return E_POINTER;
    const EncodingChoice choice = ChooseEncoding(path);
    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    // The slow and fallible part first (a huge canvas's frame is composed
    // again here), while nothing on disk has changed.
    PreparedFrame prepared;
    RETURN_IF_FAILED(PrepareFrame(factory.Get(), frame, choice, prepared));

    const auto check = [fault](FrameFileStep step) { return fault != nullptr ? fault(step) : S_OK; };
    RETURN_IF_FAILED(check(FrameFileStep::CreateTemporary));
    TemporaryFileBeside temporary;
    RETURN_IF_FAILED(temporary.Create(path));
    {
        ComPtr<IStream> stream;
        RETURN_IF_FAILED(SHCreateStreamOnFileEx(temporary.Path().c_str(), STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE,
                                                FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream));
        RETURN_IF_FAILED(EncodeFrame(factory.Get(), choice, prepared, stream.Get(),
                                     [&] { return check(FrameFileStep::Encode); }));
    } // closed before it is moved
    RETURN_IF_FAILED(check(FrameFileStep::Replace));
    return temporary.Replace(path);
}

HRESULT AskFrameFileName(HWND owner, const std::wstring& proposedName, std::wstring& chosen) {
    wchar_t path[MAX_PATH];
    lstrcpynW(path, proposedName.c_str(), MAX_PATH);
    static const wchar_t kFilter[] =
        L"PNG (*.png)\0*.png\0JPEG (*.jpg;*.jpeg)\0*.jpg;*.jpeg\0" L"24-bit Bitmap (*.bmp)\0*.bmp\0\0";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.nFilterIndex = 1;
    dialog.lpstrDefExt = L"png";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&dialog)) return HRESULT_FROM_WIN32(ERROR_CANCELLED);

    chosen = path;
    const wchar_t* extension = PathFindExtensionW(chosen.c_str());
    if (extension == nullptr || extension[0] == L'\0') {
        chosen += dialog.nFilterIndex == 2 ? L".jpg" : dialog.nFilterIndex == 3 ? L".bmp" : L".png";
    }
    return S_OK;
}

HRESULT SaveFrameAs(HWND owner, IWICBitmapSource* frame, const std::wstring& proposedName) {
    if (frame == nullptr) return E_POINTER;
    std::wstring chosen;
    RETURN_IF_FAILED(AskFrameFileName(owner, proposedName, chosen));
    return WriteFrameFile(frame, chosen);
}

} // namespace Quivane
