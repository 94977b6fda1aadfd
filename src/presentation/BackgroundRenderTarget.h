#pragma once
// A window render target made on a worker of its own. Making one, and its
// first pictures, cost a software device hundreds of milliseconds, which the
// window's thread spends serving its user instead.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include "platform/WorkerThread.h"

#include <functional>
#include <memory>

namespace Quivane {

class BackgroundRenderTarget {
public:
    using Create = std::function<HRESULT(ID2D1Factory*, const D2D1_RENDER_TARGET_PROPERTIES&,
                                         const D2D1_HWND_RENDER_TARGET_PROPERTIES&, ID2D1HwndRenderTarget**)>;

    BackgroundRenderTarget() = default;
    // Waits for a worker still making its target, serving what other threads
    // ask of this one meanwhile (the platform may send the window messages);
    // one stuck in the platform is let go after a while.
    ~BackgroundRenderTarget();
    BackgroundRenderTarget(const BackgroundRenderTarget&) = delete;
    BackgroundRenderTarget& operator=(const BackgroundRenderTarget&) = delete;

    // Starts making the target; its first pictures are of `background`. The
    // window is invalidated once the target is ready, so that it is taken.
    [[nodiscard]] HRESULT Start(ID2D1Factory* factory, Create create, const D2D1_RENDER_TARGET_PROPERTIES& properties,
                                const D2D1_HWND_RENDER_TARGET_PROPERTIES& windowProperties, D2D1_COLOR_F background);
    bool Started() const { return shared_ != nullptr; }
    // Once the worker is done: its result and target, handed over once.
    bool TryTake(HRESULT& result, Microsoft::WRL::ComPtr<ID2D1HwndRenderTarget>& target);

private:
    struct Shared;

    std::shared_ptr<Shared> shared_;
    WorkerThread worker_;
};

} // namespace Quivane
