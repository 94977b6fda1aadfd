#pragma once
// A synchronous Media Foundation transform from NV12/I420/IYUV/YV12/YUY2 to
// RGB32, for the test prefix only: Wine's source reader has no RGB32 output.
#include "../StandInServer.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mftransform.h>

#include <atomic>

namespace QuivaneTestMf {

extern const CLSID CLSID_QuivaneTestColorConverter;

// The input subtypes in the order the transform offers them.
extern const GUID* const kInputSubtypes[5];

HRESULT CreateColorConverter(REFIID iid, void** out);

// Held by every object the server hands out; keeps the DLL loaded.
using QuivaneTestServer::ServerReference;

} // namespace QuivaneTestMf
