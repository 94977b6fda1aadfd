#pragma once
// A synchronous Media Foundation transform from NV12/I420/IYUV/YV12/YUY2 to
// RGB32, for the test prefix only: Wine's source reader has no RGB32 output.
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

void ServerAddRef();
void ServerRelease();
bool ServerInUse();

// Keeps the DLL loaded while an object of it lives.
struct ServerReference {
    ServerReference() { ServerAddRef(); }
    ~ServerReference() { ServerRelease(); }
    ServerReference(const ServerReference&) = delete;
    ServerReference& operator=(const ServerReference&) = delete;
};

} // namespace QuivaneTestMf
