// Shared by the server and its registration tool.
#include "ColorConverter.h"

namespace QuivaneTestMf {

// {2AB4BF55-A07A-4FDE-A1C6-3135A003CF5A}
const CLSID CLSID_QuivaneTestColorConverter = {
    0x2ab4bf55, 0xa07a, 0x4fde, {0xa1, 0xc6, 0x31, 0x35, 0xa0, 0x03, 0xcf, 0x5a}};

const GUID* const kInputSubtypes[5] = {&MFVideoFormat_NV12, &MFVideoFormat_I420, &MFVideoFormat_IYUV,
                                       &MFVideoFormat_YV12, &MFVideoFormat_YUY2};

} // namespace QuivaneTestMf
