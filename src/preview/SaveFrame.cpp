#include "FrameExport.h"

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

HRESULT ConvertFrame(IWICImagingFactory* factory, IWICBitmapSource* frame, const WICPixelFormatGUID& format,
                     UINT bytesPerPixel, UINT width, UINT height, std::vector<std::uint8_t>& pixels) {
    ComPtr<IWICFormatConverter> converter;
    RETURN_IF_FAILED(CreateConverter(factory, frame, format, converter));
    return CopyPixelsToBuffer(converter.Get(), nullptr, bytesPerPixel * width, height, pixels);
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

HRESULT ObtainFramePixels(IWICBitmapSource* frame) {
    if (frame == nullptr) return E_POINTER;
    // One pixel read makes the whole frame; room for any format's pixel.
    BYTE pixel[16] = {};
    const WICRect first = {0, 0, 1, 1};
    return frame->CopyPixels(&first, sizeof(pixel), sizeof(pixel), pixel);
}

HRESULT WriteFrameFile(IWICBitmapSource* frame, const std::wstring& path) {
    if (frame == nullptr) return E_POINTER;
    const EncodingChoice choice = ChooseEncoding(path);
    UINT width = 0, height = 0;
    RETURN_IF_FAILED(GetNonEmptySize(frame, width, height));
    RETURN_IF_FAILED(ObtainFramePixels(frame)); // before the file is created

    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(CreateImagingFactory(factory));
    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(&stream));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    RETURN_IF_FAILED(factory->CreateEncoder(choice.container, nullptr, &encoder));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frameEncoder;
    ComPtr<IPropertyBag2> options;
    RETURN_IF_FAILED(encoder->CreateNewFrame(&frameEncoder, &options));
    if (choice.container == GUID_ContainerFormatJpeg && options) SetJpegQuality(options.Get());
    RETURN_IF_FAILED(frameEncoder->Initialize(options.Get()));
    RETURN_IF_FAILED(frameEncoder->SetSize(width, height));
    // The encoder answers with the format it will store. The PNG encoder takes
    // no premultiplied pixels: handing it premultiplied bytes as straight ones
    // would darken every translucent pixel, so the frame is converted to
    // whatever format the encoder settled on.
    WICPixelFormatGUID format = choice.pixelFormat;
    RETURN_IF_FAILED(frameEncoder->SetPixelFormat(&format));
    const UINT bytesPerPixel = BytesPerPixel(format);
    if (bytesPerPixel == 0) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    std::vector<std::uint8_t> pixels;
    RETURN_IF_FAILED(ConvertFrame(factory.Get(), frame, format, bytesPerPixel, width, height, pixels));
    RETURN_IF_FAILED(frameEncoder->WritePixels(height, bytesPerPixel * width, static_cast<UINT>(pixels.size()),
                                               pixels.data()));
    RETURN_IF_FAILED(frameEncoder->Commit());
    return encoder->Commit();
}

HRESULT SaveFrameAs(HWND owner, IWICBitmapSource* frame, const std::wstring& proposedName) {
    if (frame == nullptr) return E_POINTER;
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

    std::wstring chosen = path;
    const wchar_t* extension = PathFindExtensionW(chosen.c_str());
    if (extension == nullptr || extension[0] == L'\0') {
        chosen += dialog.nFilterIndex == 2 ? L".jpg" : dialog.nFilterIndex == 3 ? L".bmp" : L".png";
    }
    return WriteFrameFile(frame, chosen);
}

} // namespace Quivane
