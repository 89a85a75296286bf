#include "catalogue/file_list.h"

CFileList::CFileList(CDatabase* database)
    : CRecordset(database), m_LDDATE(CTime::GetCurrentTime()) {}

void CFileList::DoFieldExchange(CFieldExchange* pFX) {
    RFX_Text(pFX, "STA", m_STA);
    RFX_Double(pFX, "SPS", m_SPS);
    RFX_Long(pFX, "GAIN", m_GAIN);
    RFX_Text(pFX, "CPATH", m_CPATH);
    RFX_Long(pFX, "DATATYPE", m_DATATYPE);
    RFX_Text(pFX, "CH", m_CH);
    RFX_Text(pFX, "CREATER", m_CREATER);
    RFX_Date(pFX, "LDDATE", m_LDDATE);
    RFX_Double(pFX, "TBEGIN", m_TBEGIN);
    RFX_Double(pFX, "TQTY", m_TQTY);
    RFX_Long(pFX, "FOFF", m_FOFF);
}
