#pragma once
// The archive writer: its stations and their channel buffers, the segment flush, and the
// catalogue operations that keep FILELIST in step with the segment files.
//
// Member functions are defined by topic: archive/station_registry.cpp, archive/buffering.cpp,
// archive/segment_flush.cpp, archive/segment_file.cpp, catalogue/catalogue_operations.cpp,
// catalogue/storage_limit.cpp.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/known_station_totals.h"
#include "platform/file_io.h"

class CDatabase;
class CFileList;

// Most samples one channel buffer holds.
inline constexpr int kSegmentBufferCapacity = 5000;

// One channel of one station: the samples waiting to be filed and the segment file chosen by
// the latest flush that had samples.
class CSegmentBuffer {
public:
    CSegmentBuffer(std::string channelName, double sampleRate)
        : m_sampleRate(sampleRate), m_strChannel(std::move(channelName)) {}
    virtual ~CSegmentBuffer() = default;

    double m_sampleRate;             // samples per second, fixed at creation
    std::string m_strChannel;        // channel name, fixed at creation
    std::string m_segmentPath;       // catalogue path of the latest flushed segment; empty at first
    double m_segmentStart = 0;       // EpochSeconds of that segment's first sample
    double m_segmentDuration = 0;    // its span in seconds after the flush
    double m_bufferStart = 0;        // EpochSeconds of the first buffered sample; 0 when empty
    double m_bufferDuration = 0;     // span of the buffered samples in seconds; 0 when empty
    int32_t m_sampleCount = 0;       // buffered samples, 0 to kSegmentBufferCapacity
    float m_samples[kSegmentBufferCapacity] = {};  // only the first m_sampleCount mean anything
};

// One station: its limits and its channel buffers (identified by index, never removed).
class CStationEntry {
public:
    virtual ~CStationEntry() = default;

    int64_t m_storageLimit = 100LL << 20;  // bytes; negative means no limit
    std::string m_strName;                 // station name as registered
    std::vector<std::unique_ptr<CSegmentBuffer>> m_channels;
    int32_t m_maxMinutes = 60;             // longest span a segment may grow to by appending
    // The station's lock file, held exclusively from this writer's first flush with samples
    // for the station to the writer's end, so that two runs never file into it at once.
    platform::UniqueFd m_lock;
};

class CArchiveWriter {
public:
    // `database` must be open and outlive the writer; `creatorName` is copied.
    CArchiveWriter(CDatabase* database, const char* creatorName);
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;
    // Deletes stations and buffers without flushing: buffered samples are lost.
    virtual ~CArchiveWriter();

    // --- station registry ---
    void SetDataRoot(const char* path);
    // Index of the station named `name` (case-sensitive); a new one gets the given limits,
    // an existing one keeps its own. A negative `limitMB` means no storage limit.
    int AddStation(const char* name, int32_t maxMinutes, int32_t limitMB);
    // Index of the station named `name`; a new one gets 60 minutes and 100 MB.
    int FindOrAddStation(const char* name);
    // Index of the channel within the station (names compared ignoring case of A-Z); a new
    // buffer gets `sampleRate`, an existing one keeps its first rate.
    int FindOrAddChannel(int station, const char* channel, double sampleRate);

    // --- buffering ---
    // Hands over `count` samples of one channel starting at `start`; copies them.
    void WriteSamples(const char* sta, const char* ch, double sampleRate, double start,
                      int32_t count, const float* samples);
    // Takes one chunk of at most kSegmentBufferCapacity samples (used by WriteSamples).
    void AppendToBuffer(const char* sta, const char* ch, double sampleRate, double start,
                        int32_t count, const float* samples);
    // Flushes every buffer of every station, empty ones included.
    void FlushAll();

    // --- segment files and flush ---
    // Writes out one buffer (appending to its catalogued segment or creating a new file) and
    // leaves it empty. Reports failures on the console only.
    void FlushBuffer(int station, int channel);
    // Fills the 512-byte `area` with the segment header of the given buffer's segment.
    void BuildSegmentHeader(char* area, int station, int channel) const;

    // --- catalogue operations ---
    // True when the channel's catalogued segment that ends first at or after tStart - 1.5/sps
    // ends within 1/sps of tStart and its TQTY + duration <= maxMinutes*60 - 1. outTbegin and
    // outTqty are written whenever a row was found; outPath only on true. Prints database errors.
    bool FindAppendableSegment(const char* sta, const char* ch, double sps, double tStart,
                               double duration, int32_t maxMinutes, std::string* outPath,
                               double* outTbegin, double* outTqty);
    // Rewrites the row of `cpath` with these values (adds it when missing). Prints database errors.
    void UpdateSegmentRecord(const char* cpath, const char* sta, const char* ch, double tbegin,
                             double tqty, double sps, int32_t gain, int32_t datatype);
    // Replaces the row of `cpath` (deletes the first one found, then adds). Prints database errors.
    void AddSegmentRecord(const char* cpath, const char* sta, const char* ch, double tbegin,
                          double tqty, double sps, int32_t gain, int32_t datatype);
    // Deletes every row of `cpath`; true on success, also when no row matched. Prints nothing.
    bool DeleteSegmentRecord(const char* cpath);
    // Sum of SPS*TQTY*4+512 over this writer's rows of the station; 0 on any failure. Prints nothing.
    uint64_t StationStoredSize(const char* sta);
    // True when the file at `fullPath` exists and can be opened for reading.
    bool FileExists(const char* fullPath);
    // Deletes the station's oldest segments (at most eleven per call) while its catalogued
    // total is at or above `limitBytes`. A negative limit means no limit.
    void EnforceStorageLimit(const char* sta, int64_t limitBytes);

    std::vector<std::unique_ptr<CStationEntry>> m_stations;
    std::string m_strCreator;
    std::string m_strDataRoot;
    CDatabase* m_pDatabase;

  private:
    // The catalogued sum of a station's rows as a query would give it, or nothing (the query
    // failed). A sum of no rows is 0.
    std::optional<double> ReadStationSum(const char* sta);
    // Forgets what this writer holds of the catalogue's rows (after a change it cannot follow).
    void ForgetCatalogueState();

    // Station totals known without a query (see catalogue/known_station_totals.h).
    KnownStationTotals m_knownTotals;
    // The record set of the latest FindAppendableSegment that found a segment to extend,
    // still on that row, so that UpdateSegmentRecord of the same path edits the row it read
    // instead of selecting it again. Dropped by every other catalogue operation.
    std::unique_ptr<CFileList> m_foundSegment;
};
