#pragma once
// CFileList: one row of the catalogue table FILELIST, the record of one segment file.

#include <cstdint>
#include <string>

#include "platform/ctime.h"
#include "platform/recordset.h"

class CFileList : public CRecordset {
  public:
    // Text fields empty, numbers 0, LDDATE the current time.
    explicit CFileList(CDatabase* database);

    // The eleven columns, in the order the record exchanges them.
    std::string m_STA;       // station name
    double m_SPS = 0;        // samples per second
    int32_t m_GAIN = 0;      // always 1 as the archive writes it
    std::string m_CPATH;     // segment path below the data root, "\"-separated; names the row
    int32_t m_DATATYPE = 0;  // always 3 as the archive writes it
    std::string m_CH;        // channel name
    std::string m_CREATER;   // name of the program that wrote the row
    CTime m_LDDATE;          // when the row was last written (stored as local time)
    double m_TBEGIN = 0;     // seconds since 1970 of the first sample
    double m_TQTY = 0;       // duration in seconds
    int32_t m_FOFF = 0;      // byte offset of the first sample in the file

    std::string GetDefaultSQL() const override { return "FILELIST"; }
    void DoFieldExchange(CFieldExchange* pFX) override;
    const char* GetRowIdentityColumn() const override { return "CPATH"; }
};
