#pragma once
// The COM object the shell asks for a thumbnail: it decodes the frame it
// shows (the middle one, or a video's still) and scales it into a 32-bit
// top-down DIB section with premultiplied alpha.
#include <windows.h>
#include <propsys.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include "platform/ServerLifetime.h"
#include "frames/FrameSource.h"

namespace Quivane {

class ThumbnailProviderCom final : public IThumbnailProvider, public IInitializeWithStream, public ISupportErrorInfo {
public:
    ThumbnailProviderCom() = default;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;

    IFACEMETHODIMP Initialize(IStream* stream, DWORD mode) override;
    IFACEMETHODIMP GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) override;
    // A failed GetThumbnail leaves an error object saying where the failure began.
    IFACEMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    ~ThumbnailProviderCom() = default;

    LONG refCount = 1;
    ServerModuleLock serverLock;
    Microsoft::WRL::ComPtr<IStream> stream;
};

[[nodiscard]] HRESULT CreateThumbnailProvider(REFIID iid, void** out);

// How long GetThumbnail waits for the platform before it gives up with
// HRESULT_FROM_WIN32(WAIT_TIMEOUT): long enough for any file on a machine
// that is busy, short of a shell that waits for ever.
constexpr DWORD kThumbnailPatienceMs = 60000;

// What GetThumbnail does: the thumbnail made within `patienceMs`, else
// HRESULT_FROM_WIN32(WAIT_TIMEOUT). Our own decoding stops then by itself; a
// platform decoder's runs on a worker that is no longer waited for. A stream
// that cannot seek is read whole, forward; its bytes go to `readForward`
// when given, for a later thumbnail of the same file.
[[nodiscard]] HRESULT MakeThumbnailWithin(IStream* stream, UINT cx, HBITMAP* bitmap, DWORD patienceMs,
                                          FileBytes* readForward = nullptr);

} // namespace Quivane
