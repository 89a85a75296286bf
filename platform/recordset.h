#pragma once
// A record set over one table: the least of the class library's CRecordset that the catalogue
// needs. Open selects a snapshot whose first row becomes current; Edit, AddNew and Delete
// change rows through searched statements built here, each checked to touch exactly one row.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/ctime.h"
#include "platform/database.h"
#include "platform/prepared_statement.h"

// The fields of a record in column order, as its DoFieldExchange declares them.
class CFieldExchange {
  public:
    enum class Kind { Text, Double, Long, Date };
    struct Field {
        const char* column;  // column name, never quoted in SQL
        Kind kind;
        void* value;  // std::string*, double*, int32_t* or CTime*, by kind
    };

    void Add(const char* column, Kind kind, void* value) {
        fields_.push_back({column, kind, value});
    }
    const std::vector<Field>& Fields() const { return fields_; }

  private:
    std::vector<Field> fields_;
};

// Field exchange in the class library's spelling: a text column (VARCHAR), a double-precision
// column, a 32-bit integer column and a timestamp column holding local time.
inline void RFX_Text(CFieldExchange* pFX, const char* column, std::string& value) {
    pFX->Add(column, CFieldExchange::Kind::Text, &value);
}
inline void RFX_Double(CFieldExchange* pFX, const char* column, double& value) {
    pFX->Add(column, CFieldExchange::Kind::Double, &value);
}
inline void RFX_Long(CFieldExchange* pFX, const char* column, int32_t& value) {
    pFX->Add(column, CFieldExchange::Kind::Long, &value);
}
inline void RFX_Date(CFieldExchange* pFX, const char* column, CTime& value) {
    pFX->Add(column, CFieldExchange::Kind::Date, &value);
}

// Every failure throws CDBException: with the driver's error text when the driver reported it,
// with an empty text when the record set refuses on its own (no current row, no change begun,
// a change that touched no row or several rows). The connection must be in autocommit mode,
// as CDatabase leaves it.
class CRecordset {
  public:
    // `database` must be open whenever the record set is used and outlive it.
    explicit CRecordset(CDatabase* database) : m_pDatabase(database) {}
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;
    virtual ~CRecordset() = default;

    // The WHERE clause of the selection as plain SQL text; empty selects every row.
    std::string m_strFilter;
    // The values of the "?" markers in m_strFilter, in order.
    std::vector<platform::SqlParameter> m_filterParams;
    // The ORDER BY clause of the selection as plain SQL text; empty leaves the order to the
    // data source.
    std::string m_strSort;

    // The table the record set selects from.
    virtual std::string GetDefaultSQL() const = 0;
    // Declares the fields in column order.
    virtual void DoFieldExchange(CFieldExchange* pFX) = 0;
    // The text column whose value names a row. Edit and Delete find the current row again by
    // this value alone, because doubles and timestamps need not compare equal after a round
    // trip through the driver.
    virtual const char* GetRowIdentityColumn() const = 0;

    // Selects the declared columns from GetDefaultSQL() where m_strFilter holds, in the order
    // of m_strSort (else the data source's), and makes the first row current, its values in the
    // fields. With no row, IsEOF() is true and the fields are left as they were.
    void Open();
    bool IsOpen() const { return open_; }
    // True when Open found no row.
    bool IsEOF() const { return eof_; }

    // Begins a change of the current row; Update writes it.
    void Edit();
    // Begins a new row; Update inserts it. The current row stays current.
    void AddNew();
    // Deletes the current row at once; afterwards there is no current row.
    void Delete();
    // After Edit: writes the fields changed since Edit into the current row, which stays
    // current (nothing is written when none changed). After AddNew: inserts a row holding
    // every field's value.
    void Update();
    // Ends the record set; Open may be called again. Never throws.
    void Close();

  protected:
    CDatabase* m_pDatabase;

  private:
    enum class Mode { None, Edit, AddNew };
    using FieldValue = std::variant<std::string, double, int32_t, CTime>;

    std::vector<CFieldExchange::Field> Fields();
    void RequireCurrentRow() const;
    // Runs `sql` with the fields bound as parameters, as one statement in autocommit. With an
    // `identity`, `sql` lacks its WHERE clause: the statement then changes the row of that
    // identity, and only while exactly one row has it. Throws unless one row was changed
    // (having changed nothing then).
    void ExecuteSingleRowChange(const std::string& sql,
                                const std::vector<CFieldExchange::Field>& params,
                                const std::string* identity);

    bool open_ = false;
    bool eof_ = true;
    bool deleted_ = false;
    Mode mode_ = Mode::None;
    std::string currentIdentity_;         // row identity value of the current row
    std::vector<FieldValue> editedFrom_;  // the field values when Edit began
};

namespace platform {

// Column readers for the current row of an executed statement, in increasing column order.
// Each returns the driver's result (SQL_SUCCESS on success); *isNull tells a NULL apart, and
// the value is then cleared to "" or 0. A text value is read whole, whatever its length.
SQLRETURN GetTextData(SQLHSTMT statement, SQLUSMALLINT column, std::string* value, bool* isNull);
SQLRETURN GetDoubleData(SQLHSTMT statement, SQLUSMALLINT column, double* value, bool* isNull);

}  // namespace platform
