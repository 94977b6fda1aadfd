#pragma once
// The COM object the shell asks for a thumbnail: it decodes the file with the
// preview's renderers, picks one frame and draws it into a 32-bit top-down
// DIB section with premultiplied alpha.
#include <windows.h>
#include <propsys.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <wrl/client.h>

#include <string>

#include "platform/ServerLifetime.h"

namespace Quivane {

class ThumbnailProviderCom final : public IThumbnailProvider, public IInitializeWithStream {
public:
    ThumbnailProviderCom() = default;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;

    IFACEMETHODIMP Initialize(IStream* stream, DWORD mode) override;
    IFACEMETHODIMP GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) override;

private:
    ~ThumbnailProviderCom() = default;
    HRESULT MakeThumbnail(UINT cx, HBITMAP* bitmap);

    LONG refCount = 1;
    ServerModuleLock serverLock;
    Microsoft::WRL::ComPtr<IStream> stream;
    // What selects and feeds the renderer: the stream again, and a name from its first bytes.
    struct ThumbnailSource {
        Microsoft::WRL::ComPtr<IStream> stream;
        std::wstring name;
    } source;
};

HRESULT CreateThumbnailProvider(REFIID iid, void** out);

} // namespace Quivane
