// Writing out one channel buffer: appended to the channel's catalogued segment when it
// continues it, else a new segment file; the catalogue row follows only what reached the disk.

#include <fcntl.h>
#include <sys/file.h>

#include <bit>
#include <cmath>
#include <string>

#include "archive/archive_writer.h"
#include "archive/segment_file.h"
#include "archive/segment_path.h"
#include "archive/station_lock.h"
#include "platform/console.h"
#include "platform/file_io.h"

// Samples go to the file straight from the buffer, so memory order must be the file's.
static_assert(std::endian::native == std::endian::little,
              "segment samples are stored as little-endian floats");

namespace {

// Every catalogue row a flush writes has gain 1 and data type 3 (32-bit float).
constexpr int32_t kGain = 1;
constexpr int32_t kDataTypeFloat = 3;

// Prints "<what> '<path>'" as finished text, so that a "%" in the path is shown as it is.
void ReportFileError(const char* what, const std::string& path) {
    ConsolePrintText(std::string(what) + " '" + path + "'");
}

// Bytes a segment file has when it holds what its row claims: the header and
// round(TQTY * SPS) samples; -1 when the row's values give no sensible length.
off_t ClaimedLength(double tqty, double sps) {
    const double samples = std::round(tqty * sps);
    if (!(samples >= 0 && samples < 0x1p52)) return -1;
    return kSegmentHeaderSize + 4 * static_cast<off_t>(samples);
}

// Cuts the file at `path` back to `length` bytes; used after a failed close, when the
// descriptor that wrote is gone. Best effort: a file left longer is cut back before its next
// append, since the row still claims `length`.
void CutBack(const std::string& path, off_t length) {
    platform::UniqueFd fd(platform::OpenFile(path.c_str(), O_WRONLY));
    if (fd.Valid()) platform::TruncateFile(fd.Get(), length, path.c_str());
}

enum class AppendResult {
    kAppended,      // the samples are at the end of the file; its row must follow
    kFailed,        // reported; file as its row claims, samples dropped
    kStartNewFile,  // reported; the file does not hold what its row claims, so leave it be
};

// Appends `bytes` of samples to the existing segment file at `fullPath`, whose row claims
// `claimed` bytes. The file is never created or truncated on opening.
AppendResult AppendToSegmentFile(const std::string& fullPath, off_t claimed, const float* samples,
                                 size_t bytes) {
    const char* path = fullPath.c_str();
    platform::UniqueFd fd(platform::OpenFile(path, O_WRONLY));
    if (!fd.Valid()) {
        ReportFileError("File open error", fullPath);
        return AppendResult::kFailed;
    }
    const off_t length = platform::SeekFile(fd.Get(), 0, SEEK_END, path);
    if (length < 0) {
        ReportFileError("File write error", fullPath);
        return AppendResult::kFailed;
    }
    if (claimed < 0) {
        ConsolePrintText("ERROR: catalogue row of segment file '" + fullPath +
                         "' gives no valid length, not appended");
        return AppendResult::kStartNewFile;
    }
    if (length < claimed) {
        ConsolePrintText("ERROR: segment file '" + fullPath +
                         "' is shorter than its catalogue row, not appended");
        return AppendResult::kStartNewFile;
    }
    if (length > claimed) {
        // An earlier append reached the file but never its row: those samples are not
        // catalogued, and the new ones belong right after the catalogued end.
        if (platform::TruncateFile(fd.Get(), claimed, path) != 0 ||
            platform::SeekFile(fd.Get(), 0, SEEK_END, path) != claimed) {
            ReportFileError("File write error", fullPath);
            return AppendResult::kFailed;
        }
    }
    if (platform::WriteFull(fd.Get(), samples, bytes) != 0) {
        platform::TruncateFile(fd.Get(), claimed, path);
        ReportFileError("File write error", fullPath);
        return AppendResult::kFailed;
    }
    if (fd.Close() != 0) {
        CutBack(fullPath, claimed);
        ReportFileError("File write error", fullPath);
        return AppendResult::kFailed;
    }
    return AppendResult::kAppended;
}

enum class CreateResult {
    kCreated,    // header and samples are on disk; the row must be added
    kNotOpened,  // reported; nothing on disk was touched
    kDiscarded,  // reported; the file was created (maybe replacing one) and then removed
};

// Creates (or cuts to nothing and rewrites) the segment file at `fullPath`, holding an
// exclusive lock on it while writing.
CreateResult CreateSegmentFile(const std::string& fullPath, const char* header,
                               const float* samples, size_t bytes) {
    const char* path = fullPath.c_str();
    platform::UniqueFd fd(platform::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (!fd.Valid()) {
        ReportFileError("File create error", fullPath);
        return CreateResult::kNotOpened;
    }
    const char* failure = nullptr;
    if (platform::LockFile(fd.Get(), LOCK_EX, path) != 0) {
        failure = "File create error";
    } else if (platform::WriteFull(fd.Get(), header, kSegmentHeaderSize) != 0 ||
               platform::WriteFull(fd.Get(), samples, bytes) != 0 || fd.Close() != 0) {
        failure = "File write error";
    }
    if (failure == nullptr) return CreateResult::kCreated;
    fd.Close();
    platform::RemoveFile(path);
    ReportFileError(failure, fullPath);
    return CreateResult::kDiscarded;
}

// The create branch of a flush: directories, name, header, file, row.
void CreateSegment(CArchiveWriter& writer, int station, int channel, size_t bytes) {
    CStationEntry& entry = *writer.m_stations[static_cast<size_t>(station)];
    CSegmentBuffer& buffer = *entry.m_channels[static_cast<size_t>(channel)];
    buffer.m_segmentStart = buffer.m_bufferStart;
    buffer.m_segmentDuration = buffer.m_bufferDuration;

    const SegmentPathParts parts =
        SegmentPathPartsOf(entry.m_strName, buffer.m_strChannel, buffer.m_bufferStart);
    const std::string& root = writer.m_strDataRoot;
    MakeDirectory(DiskPathOf(root, parts.stationDir).c_str());
    std::string cataloguePath = parts.stationDir + "\\" + parts.hourDir;
    MakeDirectory(DiskPathOf(root, cataloguePath).c_str());
    cataloguePath += "\\" + parts.fileName;
    const std::string fullPath = DiskPathOf(root, cataloguePath);
    buffer.m_segmentPath = cataloguePath;

    // A file of this name may be catalogued already (a recording filed again): its row goes
    // before the file is cut to nothing, so that no row claims bytes that are gone, even when
    // the run ends right after the cut. A row that cannot go keeps its file as it is.
    if (writer.FileExists(fullPath.c_str()) && !writer.DeleteSegmentRecord(cataloguePath.c_str())) {
        ConsolePrintText("ERROR: catalogue row of segment file '" + fullPath +
                         "' cannot be removed, file not replaced");
        return;
    }

    char header[kSegmentHeaderSize];
    writer.BuildSegmentHeader(header, station, channel);

    switch (CreateSegmentFile(fullPath, header, buffer.m_samples, bytes)) {
        case CreateResult::kCreated:
            writer.AddSegmentRecord(cataloguePath.c_str(), entry.m_strName.c_str(),
                                    buffer.m_strChannel.c_str(), buffer.m_bufferStart,
                                    buffer.m_bufferDuration, buffer.m_sampleRate, kGain,
                                    kDataTypeFloat);
            break;
        case CreateResult::kDiscarded:
            // A file of this name that was there before has been cut to nothing and removed,
            // so a row it had would claim samples that are gone.
            writer.DeleteSegmentRecord(cataloguePath.c_str());
            break;
        case CreateResult::kNotOpened:
            break;
    }
}

}  // namespace

void CArchiveWriter::FlushBuffer(int station, int channel) {
    CStationEntry& entry = *m_stations[static_cast<size_t>(station)];
    CSegmentBuffer& buffer = *entry.m_channels[static_cast<size_t>(channel)];
    const bool hasSamples = buffer.m_sampleCount > 0;
    const size_t bytes = hasSamples ? static_cast<size_t>(buffer.m_sampleCount) * sizeof(float) : 0;

    // From the station's first write on, everything this writer does to the station's files
    // and rows, the storage clean-up included, happens under the station's lock.
    // A total read before waiting for the lock misses what the run that held it filed.
    if (hasSamples && HoldStationLock(m_strDataRoot, entry)) m_knownTotals.Forget(entry.m_strName);
    EnforceStorageLimit(entry.m_strName.c_str(), entry.m_storageLimit);

    if (hasSamples) {
        bool create = true;
        std::string cataloguePath;
        double segmentStart = 0;
        double segmentDuration = 0;
        if (FindAppendableSegment(entry.m_strName.c_str(), buffer.m_strChannel.c_str(),
                                  buffer.m_sampleRate, buffer.m_bufferStart,
                                  buffer.m_bufferDuration, entry.m_maxMinutes, &cataloguePath,
                                  &segmentStart, &segmentDuration)) {
            buffer.m_segmentPath = cataloguePath;
            buffer.m_segmentStart = segmentStart;
            buffer.m_segmentDuration = segmentDuration;
            const std::string fullPath = DiskPathOf(m_strDataRoot, buffer.m_segmentPath);
            // The row's SPS is the rate of this channel's buffer: rows are found by station
            // and channel, and a channel keeps the rate it was first seen with.
            AppendResult appended = AppendResult::kStartNewFile;
            if (IsInsideDataRoot(buffer.m_segmentPath)) {
                appended = AppendToSegmentFile(fullPath,
                                               ClaimedLength(segmentDuration, buffer.m_sampleRate),
                                               buffer.m_samples, bytes);
            } else {
                // A row that points out of the archive is never written through (appending
                // could also cut that file back to the row's length).
                ConsolePrintText("ERROR: catalogued file '" + fullPath +
                                 "' lies outside the data root, not appended");
            }
            switch (appended) {
                case AppendResult::kAppended:
                    buffer.m_segmentDuration = segmentDuration + buffer.m_bufferDuration;
                    UpdateSegmentRecord(buffer.m_segmentPath.c_str(), entry.m_strName.c_str(),
                                        buffer.m_strChannel.c_str(), buffer.m_segmentStart,
                                        buffer.m_segmentDuration, buffer.m_sampleRate, kGain,
                                        kDataTypeFloat);
                    create = false;
                    break;
                case AppendResult::kFailed:
                    create = false;
                    break;
                case AppendResult::kStartNewFile:
                    break;
            }
        }
        if (create) CreateSegment(*this, station, channel, bytes);
    }

    buffer.m_bufferStart = 0;
    buffer.m_bufferDuration = 0;
    buffer.m_sampleCount = 0;
}
