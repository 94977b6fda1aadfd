#pragma once
// A stream over bytes whose reads of bytes past a given offset wait until the
// test lets them go, and then fail: a platform decoder reading it is stuck inside the
// platform, as on a damaged file that makes the decoder stop answering.
// Free-threaded, so the stuck read happens on the decoder's own thread.
#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

namespace QuivaneTest {

class StallingStream;

struct StallControl {
    Microsoft::WRL::ComPtr<IStream> stream;
    StallingStream* object = nullptr; // owned by `stream`
    bool Stalled() const;             // a read is waiting
    void Release();                   // lets every waiting and later read go on, failing
};

StallControl MakeStallingStream(const std::vector<std::uint8_t>& bytes, std::uint64_t stallFrom);

// A stream whose reads go through until the test closes its gate; reads then
// wait until it opens again and go on as usual: a file on a share that
// stops answering for a while.
struct GateControl {
    Microsoft::WRL::ComPtr<IStream> stream;
    StallingStream* object = nullptr; // owned by `stream`
    bool Waiting() const; // a read waits at the closed gate
    void Close();
    void Open();
};

GateControl MakeGatedStream(const std::vector<std::uint8_t>& bytes);

} // namespace QuivaneTest
