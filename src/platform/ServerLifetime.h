#pragma once
// What keeps the server loaded: live objects, server locks and running
// workers. COM may unload the library once none is left.
#include <windows.h>

namespace Quivane {

void LockServerModule();
void UnlockServerModule();
LONG ServerModuleLocks();

// Holds one lock for as long as it lives.
class ServerModuleLock {
public:
    ServerModuleLock() { LockServerModule(); }
    ~ServerModuleLock() { UnlockServerModule(); }
    ServerModuleLock(const ServerModuleLock&) = delete;
    ServerModuleLock& operator=(const ServerModuleLock&) = delete;
};

// The module this code was linked into: the server library, or the program
// that links the same code directly.
HINSTANCE ThisModule();

// Keeps this module loaded for the life of the process: for a worker let go
// while still inside a platform call, whose code must stay mapped until it returns.
void PinThisModule();

} // namespace Quivane
