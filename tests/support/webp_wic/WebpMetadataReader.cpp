// A frame's metadata: only what a player needs, the frame's duration as
// "/ANMF/Duration" (milliseconds, VT_UI4). Stills have no ANMF chunk, so they
// answer no names at all.
#include "WebpDecoder.h"

#include <new>

namespace QuivaneTestWebp {

namespace {

constexpr wchar_t kDurationName[] = L"/ANMF/Duration";
constexpr wchar_t kRootLocation[] = L"/";

class FrameMetadataReader final : public IWICMetadataQueryReader {
public:
    FrameMetadataReader(bool hasDuration, std::uint32_t durationMs)
        : hasDuration_(hasDuration), durationMs_(durationMs) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IWICMetadataQueryReader) return E_NOINTERFACE;
        *out = static_cast<IWICMetadataQueryReader*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override {
        if (format == nullptr) return E_INVALIDARG;
        *format = GUID_ContainerFormatWebp;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetLocation(UINT maxLength, WCHAR* location, UINT* actualLength) override {
        if (actualLength == nullptr) return E_INVALIDARG;
        const UINT needed = static_cast<UINT>(sizeof(kRootLocation) / sizeof(kRootLocation[0]));
        *actualLength = needed;
        if (location == nullptr) return S_OK;
        if (maxLength < needed) return WINCODEC_ERR_INSUFFICIENTBUFFER;
        for (UINT i = 0; i < needed; ++i) location[i] = kRootLocation[i];
        return S_OK;
    }

    // A null value only asks whether the name is there.
    HRESULT STDMETHODCALLTYPE GetMetadataByName(LPCWSTR name, PROPVARIANT* value) override {
        if (name == nullptr) return E_INVALIDARG;
        if (!hasDuration_ || CompareStringOrdinal(name, -1, kDurationName, -1, TRUE) != CSTR_EQUAL) {
            return WINCODEC_ERR_PROPERTYNOTFOUND;
        }
        if (value != nullptr) {
            PropVariantInit(value);
            value->vt = VT_UI4;
            value->ulVal = durationMs_;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumString** enumerator) override {
        if (enumerator != nullptr) *enumerator = nullptr;
        return E_NOTIMPL;
    }

private:
    ServerReference server_;
    std::atomic<ULONG> references_{1};
    const bool hasDuration_;
    const std::uint32_t durationMs_;
};

} // namespace

HRESULT CreateFrameMetadataReader(bool hasDuration, std::uint32_t durationMs, IWICMetadataQueryReader** out) {
    auto* reader = new (std::nothrow) FrameMetadataReader(hasDuration, durationMs);
    if (reader == nullptr) return E_OUTOFMEMORY;
    *out = reader;
    return S_OK;
}

} // namespace QuivaneTestWebp
