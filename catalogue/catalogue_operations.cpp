// The archive writer's catalogue operations: finding the segment a flush may extend, writing
// and deleting rows of FILELIST, a station's stored total, and whether a segment file exists.

#include <fcntl.h>

#include <cmath>
#include <memory>
#include <optional>

#include "archive/archive_writer.h"
#include "catalogue/file_list.h"
#include "catalogue/sql_text.h"
#include "catalogue/stored_size.h"
#include "platform/console.h"
#include "platform/database.h"
#include "platform/file_io.h"
#include "platform/odbc_handle.h"

namespace {

// Prints a database error as it was raised: the text, unchanged, then its own line end.
void PrintDatabaseError(const CDBException& error) {
    ConsolePrintText(error.m_strError + "\n");
}

// Gives every field of the row its value; LDDATE becomes the time of this write.
void SetSegmentFields(CFileList* record, const char* cpath, const char* sta, const char* ch,
                      const std::string& creator, double tbegin, double tqty, double sps,
                      int32_t gain, int32_t datatype) {
    record->m_STA = sta;
    record->m_SPS = sps;
    record->m_GAIN = gain;
    record->m_CPATH = cpath;
    record->m_DATATYPE = datatype;
    record->m_CH = ch;
    record->m_CREATER = creator;
    record->m_LDDATE = CTime::GetCurrentTime();
    record->m_TBEGIN = tbegin;
    record->m_TQTY = tqty;
    record->m_FOFF = 512;  // the size of the segment header
}

// What the record's current row adds to its station's total.
RowContribution ContributionOf(const CFileList& record) {
    return {record.m_CREATER, record.m_STA, record.m_SPS, record.m_TQTY};
}

}  // namespace

bool CArchiveWriter::FindAppendableSegment(const char* sta, const char* ch, double sps,
                                           double tStart, double duration, int32_t maxMinutes,
                                           std::string* outPath, double* outTbegin,
                                           double* outTqty) {
    m_foundSegment.reset();
    auto record = std::make_unique<CFileList>(m_pDatabase);
    record->m_strFilter = "creater=? and sta=? and ch=? and tbegin+tqty >= ?";
    record->m_filterParams = {m_strCreator, std::string(sta), std::string(ch),
                              SqlFixedPointValue(tStart - 1.5 / sps)};
    // The row judged is the one that ends first, the only one that can end where the new
    // samples begin; left to the data source, the first row would depend on its plan (a
    // table scan returns rows in storage order), and filing a recording again, or after a
    // crash, would split segments that an undisturbed run keeps whole.
    record->m_strSort = "tbegin+tqty";
    try {
        record->Open();
        if (record->IsEOF()) return false;
        *outTbegin = record->m_TBEGIN;
        *outTqty = record->m_TQTY;
    } catch (const CDBException& error) {
        PrintDatabaseError(error);
        return false;
    }
    // Only the first row is judged.
    bool contiguous = std::fabs(*outTbegin + *outTqty - tStart) <= 1.0 / sps;
    // In 64 bits, so that no configured number of minutes can overflow.
    int64_t longestSeconds = static_cast<int64_t>(maxMinutes) * 60 - 1;
    bool fits = static_cast<double>(longestSeconds) >= *outTqty + duration;
    if (!contiguous || !fits) return false;
    *outPath = record->m_CPATH;
    m_foundSegment = std::move(record);
    return true;
}

void CArchiveWriter::UpdateSegmentRecord(const char* cpath, const char* sta, const char* ch,
                                         double tbegin, double tqty, double sps, int32_t gain,
                                         int32_t datatype) {
    // The row FindAppendableSegment has just read is edited as read: no second selection.
    // Should that row have gone since, or a second row of its path have come, the change
    // touches no row and the path is selected again below, as it would have been anyway.
    if (std::unique_ptr<CFileList> found = std::move(m_foundSegment);
        found != nullptr && found->m_CPATH == cpath) {
        try {
            const RowContribution before = ContributionOf(*found);
            found->Edit();
            SetSegmentFields(found.get(), cpath, sta, ch, m_strCreator, tbegin, tqty, sps, gain,
                             datatype);
            found->Update();
            const RowContribution after = ContributionOf(*found);
            m_knownTotals.Replace(&before, &after);
            return;
        } catch (const CDBException&) {
            ForgetCatalogueState();
        }
    }

    CFileList record(m_pDatabase);
    record.m_strFilter = "cpath=?";
    record.m_filterParams = {std::string(cpath)};
    try {
        record.Open();
        std::optional<RowContribution> before;
        if (!record.IsEOF()) {
            before = ContributionOf(record);
            record.Edit();
        } else {
            record.AddNew();
        }
        SetSegmentFields(&record, cpath, sta, ch, m_strCreator, tbegin, tqty, sps, gain, datatype);
        record.Update();
        const RowContribution after = ContributionOf(record);
        m_knownTotals.Replace(before ? &*before : nullptr, &after);
        record.Close();
    } catch (const CDBException& error) {
        ForgetCatalogueState();
        PrintDatabaseError(error);
    }
}

void CArchiveWriter::AddSegmentRecord(const char* cpath, const char* sta, const char* ch,
                                      double tbegin, double tqty, double sps, int32_t gain,
                                      int32_t datatype) {
    m_foundSegment.reset();
    CFileList record(m_pDatabase);
    record.m_strFilter = "cpath=?";
    record.m_filterParams = {std::string(cpath)};
    try {
        record.Open();
        if (!record.IsEOF()) {
            const RowContribution before = ContributionOf(record);
            record.Delete();
            m_knownTotals.Replace(&before, nullptr);
        }
        record.AddNew();
        SetSegmentFields(&record, cpath, sta, ch, m_strCreator, tbegin, tqty, sps, gain, datatype);
        record.Update();
        const RowContribution after = ContributionOf(record);
        m_knownTotals.Replace(nullptr, &after);
        record.Close();
    } catch (const CDBException& error) {
        ForgetCatalogueState();
        PrintDatabaseError(error);
    }
}

bool CArchiveWriter::DeleteSegmentRecord(const char* cpath) {
    // Which rows go, and so which totals change, is not known here.
    ForgetCatalogueState();
    platform::PreparedStatement statement =
        m_pDatabase->Prepare("delete from FILELIST where cpath=?");
    if (!statement) return false;
    SQLRETURN rc = statement.Execute({std::string(cpath)});
    // A delete that matched no row reports SQL_NO_DATA: the path has no row, as wanted.
    return platform::Succeeded(rc) || rc == SQL_NO_DATA;
}

std::optional<double> CArchiveWriter::ReadStationSum(const char* sta) {
    platform::PreparedStatement statement = m_pDatabase->Prepare(
        "select sum(sps*tqty*4+512) as DLSize from filelist where creater=? and sta=?");
    if (!statement) return std::nullopt;
    SQLRETURN rc = statement.Execute({m_strCreator, std::string(sta)});
    if (!platform::Succeeded(rc)) return std::nullopt;
    double sum = 0;
    SQLLEN indicator = SQL_NULL_DATA;
    if (!platform::Succeeded(SQLBindCol(statement.Get(), 1, SQL_C_DOUBLE, &sum, 0, &indicator)))
        return std::nullopt;
    if (SQLFetch(statement.Get()) != SQL_SUCCESS) return std::nullopt;
    // The sum of no rows is NULL, and drivers differ in what they leave in the value then.
    return indicator == SQL_NULL_DATA ? 0.0 : sum;
}

uint64_t CArchiveWriter::StationStoredSize(const char* sta) {
    return ByteCountFromDouble(ReadStationSum(sta).value_or(0));
}

void CArchiveWriter::ForgetCatalogueState() {
    m_foundSegment.reset();
    m_knownTotals.ForgetAll();
}

bool CArchiveWriter::FileExists(const char* fullPath) {
    // Non-blocking, so that a FIFO in the archive cannot hang the run.
    platform::UniqueFd file(platform::OpenFile(fullPath, O_RDONLY | O_NONBLOCK));
    return file.Valid();
}
