#include "FontFamilyName.h"

#include "platform/OwnedHandles.h"

#include <wrl/client.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

namespace {

bool HasFamily(IDWriteFactory* factory, const std::wstring& name) {
    ComPtr<IDWriteFontCollection> fonts;
    UINT32 index = 0;
    BOOL exists = FALSE;
    return !name.empty() && SUCCEEDED(factory->GetSystemFontCollection(&fonts)) &&
           SUCCEEDED(fonts->FindFamilyName(name.c_str(), &index, &exists)) && exists;
}

// The face GDI chooses for the name: aliases and substitutes followed.
std::wstring GdiFace(const std::wstring& face) {
    LOGFONTW logFont = {};
    face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
    UniqueGdiObject font(CreateFontIndirectW(&logFont));
    if (!font) return {};
    struct MemoryDC {
        HDC dc = CreateCompatibleDC(nullptr);
        ~MemoryDC() {
            if (dc != nullptr) DeleteDC(dc);
        }
    } memory;
    if (memory.dc == nullptr) return {};
    const HGDIOBJ earlier = SelectObject(memory.dc, font.Get());
    wchar_t chosen[LF_FACESIZE] = {};
    const int length = GetTextFaceW(memory.dc, LF_FACESIZE, chosen);
    SelectObject(memory.dc, earlier);
    return length > 0 ? std::wstring(chosen) : std::wstring();
}

} // namespace

std::wstring FamilyDirectWriteKnows(IDWriteFactory* factory, const std::wstring& face) {
    if (factory == nullptr || HasFamily(factory, face)) return face;
    std::wstring mapped = GdiFace(face);
    return HasFamily(factory, mapped) ? mapped : face;
}

} // namespace Quivane
