#pragma once
// Thin helpers over Direct2D shared by the presenter, the frame store and thumbnails.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

namespace Quivane {

using Microsoft::WRL::ComPtr;

HRESULT CreateDirect2DFactory(D2D1_FACTORY_TYPE type, ComPtr<ID2D1Factory>& factory);

} // namespace Quivane
