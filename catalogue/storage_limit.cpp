// The storage quota: a station at or over its limit loses its oldest segment files and rows.

#include <optional>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/segment_path.h"
#include "catalogue/stored_size.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "platform/odbc_handle.h"
#include "platform/recordset.h"

namespace {

// Oldest segments taken per call; the next flush takes the next ones.
constexpr size_t kMaxCandidates = 11;

struct Candidate {
    std::string cpath;  // catalogue path, as stored
    double sps = 0;
    double tqty = 0;
    // The rest of the row, to put it back when its file cannot be deleted.
    std::string ch;
    double tbegin = 0;
    SQLINTEGER gain = 0;
    SQLINTEGER datatype = 0;
};

// Reads a 32-bit integer column of the current row (0 for NULL).
bool ReadInteger(SQLHSTMT statement, SQLUSMALLINT column, SQLINTEGER* value) {
    SQLLEN indicator = 0;
    if (!platform::Succeeded(SQLGetData(statement, column, SQL_C_SLONG, value, 0, &indicator)))
        return false;
    if (indicator == SQL_NULL_DATA) *value = 0;
    return true;
}

// The station's oldest rows of this creator, at most kMaxCandidates; none when the query fails.
std::vector<Candidate> OldestSegments(CDatabase* database, const std::string& creator,
                                      const char* sta) {
    std::vector<Candidate> candidates;
    platform::PreparedStatement statement = database->Prepare(
        "select cpath,sps,tqty,ch,tbegin,gain,datatype from filelist where creater=? and "
        "sta=?  order by tbegin");
    if (!statement) return candidates;
    SQLRETURN rc = statement.Execute({creator, std::string(sta)});
    if (!platform::Succeeded(rc)) return candidates;
    while (candidates.size() < kMaxCandidates && platform::Succeeded(SQLFetch(statement.Get()))) {
        Candidate candidate;
        bool isNull = false;
        // The path is read whole: a cut path would name another file and another row.
        if (!platform::Succeeded(
                platform::GetTextData(statement.Get(), 1, &candidate.cpath, &isNull)) ||
            !platform::Succeeded(
                platform::GetDoubleData(statement.Get(), 2, &candidate.sps, &isNull)) ||
            !platform::Succeeded(
                platform::GetDoubleData(statement.Get(), 3, &candidate.tqty, &isNull)) ||
            !platform::Succeeded(
                platform::GetTextData(statement.Get(), 4, &candidate.ch, &isNull)) ||
            !platform::Succeeded(
                platform::GetDoubleData(statement.Get(), 5, &candidate.tbegin, &isNull)) ||
            !ReadInteger(statement.Get(), 6, &candidate.gain) ||
            !ReadInteger(statement.Get(), 7, &candidate.datatype))
            break;
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

}  // namespace

void CArchiveWriter::EnforceStorageLimit(const char* sta, int64_t limitBytes) {
    if (limitBytes < 0) return;  // the station has no limit
    const uint64_t limit = static_cast<uint64_t>(limitBytes);
    // A total this writer already knows decides when the station is under its limit; nothing
    // is deleted on a known total alone, only on one read from the catalogue just now, so
    // that changes made by others since it was read can never cost a segment.
    if (std::optional<double> known = m_knownTotals.Get(sta);
        known && ByteCountFromDouble(*known) < limit)
        return;
    std::optional<double> sum = ReadStationSum(sta);
    if (sum) m_knownTotals.Set(sta, *sum);
    uint64_t total = ByteCountFromDouble(sum.value_or(0));
    if (total < limit) return;

    for (const Candidate& candidate : OldestSegments(m_pDatabase, m_strCreator, sta)) {
        std::string fullPath = DiskPathOf(m_strDataRoot, candidate.cpath);
        if (!IsInsideDataRoot(candidate.cpath)) {
            // Never delete outside the archive; drop the row as if its file were gone, so
            // that the quota does not stall on it.
            ConsolePrint("ERROR: catalogued file '%s' lies outside the data root, not deleted",
                         fullPath.c_str());
            if (!DeleteSegmentRecord(candidate.cpath.c_str())) continue;
        } else if (FileExists(fullPath.c_str())) {
            // The row goes before its file: a run that ends between the two leaves a file
            // without a row, never a row that claims a file that is gone. A row that cannot
            // be deleted keeps its file.
            if (!DeleteSegmentRecord(candidate.cpath.c_str())) continue;
            if (platform::RemoveFile(fullPath.c_str()) == 0) {
                ConsolePrintText("Deleted file '" + fullPath + "'");
            } else {
                // A file that cannot be deleted gets its row back, so that the next call counts
                // it again; here it still counts as freed.
                AddSegmentRecord(candidate.cpath.c_str(), sta, candidate.ch.c_str(),
                                 candidate.tbegin, candidate.tqty, candidate.sps, candidate.gain,
                                 candidate.datatype);
            }
        } else if (!DeleteSegmentRecord(candidate.cpath.c_str())) {
            continue;
        }
        uint64_t freed = RowStoredSize(candidate.sps, candidate.tqty);
        total = freed < total ? total - freed : 0;
        if (total < limit) break;
    }
}
