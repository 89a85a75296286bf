#pragma once
// One run at a time per station: a lock file in the station's directory, held with flock.

#include <string>

#include "archive/archive_writer.h"

// Name of the lock file inside a station's directory.
inline constexpr const char* kStationLockName = ".korvane.lock";

// Takes the station's lock unless this writer holds it already: makes the station directory
// below `dataRoot` (never the data root itself), opens or creates its lock file and locks it
// exclusively. When another run holds it, prints "Waiting for station %s, locked by another
// run..." and waits. When the lock cannot be had (no data root, no rights), the writer goes on
// without it and the file calls that follow report the trouble. Returns true when it had to
// wait, that is, when another run may have filed into the station meanwhile.
bool HoldStationLock(const std::string& dataRoot, CStationEntry& station);
