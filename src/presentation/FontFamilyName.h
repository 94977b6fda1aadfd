#pragma once
// The family DirectWrite knows for a face name the system's metrics give:
// those may name a GDI alias ("MS Shell Dlg") that DirectWrite cannot find.
#include <windows.h>
#include <dwrite.h>

#include <string>

namespace Quivane {

// `face` when the system's fonts have that family; else the family GDI maps
// the name to; else `face` as it was.
std::wstring FamilyDirectWriteKnows(IDWriteFactory* factory, const std::wstring& face);

} // namespace Quivane
