#include "Direct2D.h"

namespace Quivane {

HRESULT CreateDirect2DFactory(D2D1_FACTORY_TYPE type, ComPtr<ID2D1Factory>& factory) {
    return D2D1CreateFactory(type, __uuidof(ID2D1Factory), nullptr,
                             reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
}

} // namespace Quivane
