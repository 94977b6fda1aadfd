#pragma once
// Text in the preview pane, drawn with DirectWrite in the system's message
// font at its size for the window's DPI, as the rest of Windows writes it.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <string>

namespace Quivane {

class PaneText {
public:
    // Makes the text formats for `dpi` when they are not made for it yet.
    // Without DirectWrite the pane shows no text, and says why here.
    [[nodiscard]] HRESULT FollowDpi(UINT dpi);
    // The host's font in place of the system's message font: its face (empty:
    // the message font's) and its height as LOGFONT gives it, in the screen's
    // pixels (0: the message font's size). Made at the next FollowDpi.
    void UseHostFont(const std::wstring& face, LONG height);
    // The system's fonts changed: made again at the next FollowDpi.
    void ReadFontAgain() { formatDpi = 0; }
    bool Ready() const { return regular != nullptr; }
    // The font's size in the target's pixels.
    float FontSize() const { return fontSize; }

    // `text` laid out to wrap within `maxWidth`, in the regular or the bold weight.
    [[nodiscard]] HRESULT Layout(const std::wstring& text, float maxWidth, bool bold,
                                 Microsoft::WRL::ComPtr<IDWriteTextLayout>& layout) const;
    // The size `layout` takes on the target.
    static D2D1_SIZE_F Extent(IDWriteTextLayout* layout);

private:
    Microsoft::WRL::ComPtr<IDWriteFactory> factory;
    Microsoft::WRL::ComPtr<IDWriteTextFormat> regular;
    Microsoft::WRL::ComPtr<IDWriteTextFormat> bold;
    UINT formatDpi = 0;
    std::wstring hostFace;
    LONG hostHeight = 0;
    float fontSize = 0;
};

// The system's message font as a window at `dpi` shows it: its face and
// its size in pixels (a negative height is the characters' own height).
struct MessageFont {
    std::wstring face;
    float pixels = 0;
};
MessageFont ReadMessageFont(UINT dpi);
// The characters' height in pixels at `dpi` of a LOGFONT height given at `fromDpi`.
float CharacterPixels(LONG height, UINT dpi, UINT fromDpi);

} // namespace Quivane
