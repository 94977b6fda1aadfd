#pragma once
// Taking over a reference someone handed out: a creation function's result,
// an object just made with new. mingw-w64's ComPtr::Attach adds a reference of
// its own, unlike the platform's documented one, so every Attach leaked the
// object: this is the one way this code takes ownership of a raw pointer.
#include <wrl/client.h>

namespace Quivane {

template <typename Interface, typename Object>
void AdoptReference(Microsoft::WRL::ComPtr<Interface>& owner, Object* raw) {
    *owner.ReleaseAndGetAddressOf() = raw;
}

} // namespace Quivane
