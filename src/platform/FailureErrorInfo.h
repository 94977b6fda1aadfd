#pragma once
// A COM method's failure told to its caller with where it began: the
// thread's error object (IErrorInfo) carries "File.cpp:123", which a caller in
// another module reads, since the failure record itself is this module's own.
#include <windows.h>

#include <string>

namespace Quivane {

// Sets this thread's error object to the recorded place of `hr`, when the
// failure record holds that very code; otherwise clears it.
void PublishFailurePlace(HRESULT hr);

// What the object's last failing call on `iid` published, or empty: asked
// only of an object that says it sets error objects for that interface.
std::wstring TakePublishedFailurePlace(IUnknown* object, REFIID iid);

} // namespace Quivane
