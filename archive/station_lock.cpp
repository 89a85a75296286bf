#include "archive/station_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>

#include "archive/segment_file.h"
#include "archive/segment_path.h"
#include "platform/console.h"
#include "platform/file_io.h"

bool HoldStationLock(const std::string& dataRoot, CStationEntry& station) {
    if (station.m_lock.Valid()) return false;
    const std::string stationDir = PathComponentOf(station.m_strName);
    MakeDirectory(DiskPathOf(dataRoot, stationDir).c_str());
    const std::string path = DiskPathOf(dataRoot, stationDir + "\\" + kStationLockName);
    platform::UniqueFd fd(platform::OpenFile(path.c_str(), O_RDONLY | O_CREAT, 0666));
    if (!fd.Valid()) return false;
    bool waited = false;
    if (platform::LockFile(fd.Get(), LOCK_EX | LOCK_NB, path.c_str()) != 0) {
        if (errno != EWOULDBLOCK) return false;
        ConsolePrint("Waiting for station %s, locked by another run...", station.m_strName.c_str());
        waited = true;
        if (platform::LockFile(fd.Get(), LOCK_EX, path.c_str()) != 0) return true;
    }
    station.m_lock = std::move(fd);
    return waited;
}
