// How the drawing lays a frame down for the user's view options: pixel-exact
// scaling, and the checkerboard behind its transparent pixels.
#include "PreviewDrawing.h"

namespace Quivane {

FrameLook PreviewDrawing::FrameLookFor(ID2D1RenderTarget* target, Microsoft::WRL::ComPtr<ID2D1BitmapBrush>& underlay) {
    FrameLook look;
    look.pixelExact = options.pixelExact;
    // A brush the target cannot make leaves the background behind the frame, as without the option.
    if (options.checkerboard && SUCCEEDED(checkerboard.For(target, bar.Scale(), target == renderTarget.Get(),
                                                           underlay.ReleaseAndGetAddressOf()))) {
        look.underlay = underlay.Get();
    }
    return look;
}

} // namespace Quivane
