#pragma once
// What registration takes over and unregistration gives back: the values the
// file types' handler keys held before, recorded per hive under
// Software\Quivane\Replaced (one record for both builds: those keys are the
// same in both registry views), and Quivane's settings kept apart from the
// class keys that unregistration removes.
#include <windows.h>

#include <string>

namespace Quivane {

struct ServerClassIds {
    std::wstring preview;
    std::wstring thumbnail;
};

// Records each handler key's value, unless it names one of our classes or a
// record of that key is already there (the first one is kept).
[[nodiscard]] HRESULT RecordReplacedHandlers(HKEY root, const ServerClassIds& ours);

// Each handler key that still names one of our classes gets its recorded value
// back (or goes, when nothing was recorded); one another handler took since is
// left alone. The record goes, and Quivane's key with it when no setting is left.
void GiveBackReplacedHandlers(HKEY root, const ServerClassIds& ours);

// The frame budget once lived under the preview handler's class key: it moves
// to Software\Quivane, unless a value is set there already.
void MoveSettingsOutOfClassKey(HKEY root, const ServerClassIds& ours);

// The registry view of the other build on this system, or 0 where there is
// none: a 64-bit server's is the 32-bit view; a 32-bit one's, under WOW64, the 64-bit view.
REGSAM OtherRegistryView();

// Whether our classes are still registered in the other build's view.
bool OtherViewHasServer(HKEY root, const ServerClassIds& ours);

} // namespace Quivane
