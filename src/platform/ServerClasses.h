#pragma once
// The two classes the library serves. These identifiers never change:
// registrations refer to them.
#include <windows.h>

namespace Quivane {

// {03403BA1-6A44-4CE8-8BDD-CED5CFA772C9}
constexpr CLSID CLSID_QuivanePreviewHandler = {0x03403ba1, 0x6a44, 0x4ce8, {0x8b, 0xdd, 0xce, 0xd5, 0xcf, 0xa7, 0x72, 0xc9}};
// {79325596-390A-46AA-AAED-BFDED19359BF}
constexpr CLSID CLSID_QuivaneThumbnailProvider = {0x79325596, 0x390a, 0x46aa, {0xaa, 0xed, 0xbf, 0xde, 0xd1, 0x93, 0x59, 0xbf}};

} // namespace Quivane
