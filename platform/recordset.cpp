#include "platform/recordset.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "platform/odbc_handle.h"
#include "platform/statement_hook.h"

namespace platform {

SQLRETURN GetTextData(SQLHSTMT statement, SQLUSMALLINT column, std::string* value, bool* isNull) {
    value->clear();
    *isNull = false;
    char chunk[256];
    for (;;) {
        SQLLEN length = 0;
        SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, chunk, sizeof chunk, &length);
        if (rc == SQL_NO_DATA) return SQL_SUCCESS;  // the previous chunk was the last
        if (!Succeeded(rc)) return rc;
        if (length == SQL_NULL_DATA) {
            *isNull = true;
            return SQL_SUCCESS;
        }
        // A chunk that does not hold the rest of the value is full but for its terminator.
        bool whole = length != SQL_NO_TOTAL && length < static_cast<SQLLEN>(sizeof chunk);
        value->append(chunk, whole ? static_cast<size_t>(length) : sizeof chunk - 1);
        if (whole) return SQL_SUCCESS;
    }
}

SQLRETURN GetDoubleData(SQLHSTMT statement, SQLUSMALLINT column, double* value, bool* isNull) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement, column, SQL_C_DOUBLE, value, 0, &indicator);
    if (!Succeeded(rc)) return rc;
    *isNull = indicator == SQL_NULL_DATA;
    if (*isNull) *value = 0;
    return SQL_SUCCESS;
}

}  // namespace platform

namespace {

using Field = CFieldExchange::Field;
using Kind = CFieldExchange::Kind;

[[noreturn]] void ThrowStatementError(SQLHSTMT statement) {
    throw CDBException(platform::DiagnosticText(SQL_HANDLE_STMT, statement));
}

platform::PreparedStatement PrepareStatement(CDatabase* database, const std::string& sql) {
    if (database == nullptr || !database->IsOpen()) throw CDBException();
    std::string error;
    platform::PreparedStatement statement = database->Prepare(sql, &error);
    if (!statement) throw CDBException(std::move(error));
    return statement;
}

// Reads one column of the fetched row into its field.
void ReadField(SQLHSTMT statement, SQLUSMALLINT column, const Field& field) {
    bool isNull = false;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    switch (field.kind) {
        case Kind::Text:
            rc = platform::GetTextData(statement, column, static_cast<std::string*>(field.value),
                                       &isNull);
            break;
        case Kind::Double:
            rc = platform::GetDoubleData(statement, column, static_cast<double*>(field.value),
                                         &isNull);
            break;
        case Kind::Long: {
            SQLINTEGER number = 0;
            rc = SQLGetData(statement, column, SQL_C_SLONG, &number, 0, &indicator);
            *static_cast<int32_t*>(field.value) = indicator == SQL_NULL_DATA ? 0 : number;
            break;
        }
        case Kind::Date: {
            SQL_TIMESTAMP_STRUCT stamp{};
            rc = SQLGetData(statement, column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp,
                            &indicator);
            // The column holds local wall-clock time in whole seconds.
            *static_cast<CTime*>(field.value) = indicator == SQL_NULL_DATA
                                                    ? CTime()
                                                    : CTime(stamp.year, stamp.month, stamp.day,
                                                            stamp.hour, stamp.minute, stamp.second);
            break;
        }
    }
    if (!platform::Succeeded(rc)) ThrowStatementError(statement);
}

// A field's value as a statement parameter.
platform::SqlParameter ParameterOf(const Field& field) {
    switch (field.kind) {
        case Kind::Text:
            return *static_cast<std::string*>(field.value);
        case Kind::Double:
            return *static_cast<double*>(field.value);
        case Kind::Long:
            return *static_cast<int32_t*>(field.value);
        case Kind::Date: {
            // Local wall-clock time, whole seconds.
            struct tm local = static_cast<CTime*>(field.value)->GetLocalTm();
            SQL_TIMESTAMP_STRUCT stamp{};
            stamp.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
            stamp.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
            stamp.day = static_cast<SQLUSMALLINT>(local.tm_mday);
            stamp.hour = static_cast<SQLUSMALLINT>(local.tm_hour);
            stamp.minute = static_cast<SQLUSMALLINT>(local.tm_min);
            stamp.second = static_cast<SQLUSMALLINT>(local.tm_sec);
            return stamp;
        }
    }
    return {};
}

using FieldValue = std::variant<std::string, double, int32_t, CTime>;

FieldValue ValueOf(const Field& field) {
    switch (field.kind) {
        case Kind::Text:
            return *static_cast<std::string*>(field.value);
        case Kind::Double:
            return *static_cast<double*>(field.value);
        case Kind::Long:
            return *static_cast<int32_t*>(field.value);
        case Kind::Date:
            return *static_cast<CTime*>(field.value);
    }
    return {};
}

// Equal values, doubles compared bit for bit (as a field's buffer would be).
bool SameValue(const FieldValue& a, const FieldValue& b) {
    if (a.index() != b.index()) return false;
    if (const double* x = std::get_if<double>(&a))
        return std::bit_cast<uint64_t>(*x) == std::bit_cast<uint64_t>(std::get<double>(b));
    return a == b;
}

std::string ColumnList(const std::vector<Field>& fields, const char* suffix) {
    std::string list;
    for (const Field& field : fields) {
        if (!list.empty()) list += ',';
        list += field.column;
        list += suffix;
    }
    return list;
}

}  // namespace

std::vector<Field> CRecordset::Fields() {
    CFieldExchange exchange;
    DoFieldExchange(&exchange);
    return exchange.Fields();
}

void CRecordset::Open() {
    Close();
    std::vector<Field> fields = Fields();
    auto identity = std::find_if(fields.begin(), fields.end(), [this](const Field& field) {
        return field.kind == Kind::Text && std::string(field.column) == GetRowIdentityColumn();
    });
    if (identity == fields.end()) throw CDBException();

    std::string sql = "SELECT " + ColumnList(fields, "") + " FROM " + GetDefaultSQL();
    if (!m_strFilter.empty()) sql += " WHERE " + m_strFilter;
    if (!m_strSort.empty()) sql += " ORDER BY " + m_strSort;

    platform::PreparedStatement statement = PrepareStatement(m_pDatabase, sql);
    SQLRETURN rc = statement.Execute(m_filterParams);
    if (!platform::Succeeded(rc)) ThrowStatementError(statement.Get());
    rc = SQLFetch(statement.Get());
    if (rc != SQL_NO_DATA && !platform::Succeeded(rc)) ThrowStatementError(statement.Get());
    eof_ = rc == SQL_NO_DATA;
    if (!eof_) {
        for (size_t i = 0; i < fields.size(); ++i)
            ReadField(statement.Get(), static_cast<SQLUSMALLINT>(i + 1), fields[i]);
        currentIdentity_ = *static_cast<std::string*>(identity->value);
    }
    // Only the first row is ever used: the cursor ends here rather than hold the table.
    open_ = true;
    deleted_ = false;
    mode_ = Mode::None;
}

void CRecordset::RequireCurrentRow() const {
    if (!open_ || eof_ || deleted_) throw CDBException();
}

void CRecordset::Edit() {
    RequireCurrentRow();
    editedFrom_.clear();
    for (const Field& field : Fields()) editedFrom_.push_back(ValueOf(field));
    mode_ = Mode::Edit;
}

void CRecordset::AddNew() {
    if (!open_) throw CDBException();
    mode_ = Mode::AddNew;
}

void CRecordset::Delete() {
    RequireCurrentRow();
    mode_ = Mode::None;
    ExecuteSingleRowChange("DELETE FROM " + GetDefaultSQL(), {}, &currentIdentity_);
    deleted_ = true;
}

void CRecordset::Update() {
    if (!open_ || mode_ == Mode::None) throw CDBException();
    Mode mode = mode_;
    mode_ = Mode::None;
    std::vector<Field> fields = Fields();
    if (mode == Mode::AddNew) {
        std::string placeholders;
        for (size_t i = 0; i < fields.size(); ++i) placeholders += i == 0 ? "?" : ",?";
        ExecuteSingleRowChange("INSERT INTO " + GetDefaultSQL() + " (" + ColumnList(fields, "") +
                                   ") VALUES (" + placeholders + ")",
                               fields, nullptr);
        return;
    }
    RequireCurrentRow();
    // Only the changed fields are written: a value that was read back rounded (a double from
    // SQLite) must not replace the exact one stored.
    std::vector<Field> changed;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i >= editedFrom_.size() || !SameValue(ValueOf(fields[i]), editedFrom_[i]))
            changed.push_back(fields[i]);
    }
    if (changed.empty()) return;
    ExecuteSingleRowChange("UPDATE " + GetDefaultSQL() + " SET " + ColumnList(changed, "=?"),
                           changed, &currentIdentity_);
    // The edited row stays current, under its new identity.
    for (const Field& field : fields) {
        if (std::string(field.column) == GetRowIdentityColumn())
            currentIdentity_ = *static_cast<std::string*>(field.value);
    }
}

void CRecordset::ExecuteSingleRowChange(const std::string& sql, const std::vector<Field>& params,
                                        const std::string* identity) {
    std::string text = sql;
    std::vector<platform::SqlParameter> values;
    values.reserve(params.size() + 2);
    for (const Field& field : params) values.push_back(ParameterOf(field));
    if (identity != nullptr) {
        // The statement itself insists on exactly one row with the identity, so that, run on
        // its own in autocommit, it changes one row or none: no transaction of several
        // statements, and no round trip to commit one, is needed to undo a wrong count.
        const std::string column = GetRowIdentityColumn();
        text += " WHERE " + column + "=? AND (SELECT COUNT(*) FROM " + GetDefaultSQL() + " WHERE " +
                column + "=?)=1";
        values.emplace_back(*identity);
        values.emplace_back(*identity);
    }

    platform::PreparedStatement statement = PrepareStatement(m_pDatabase, text);
    SQLRETURN rc = statement.Execute(values);
    if (rc != SQL_NO_DATA && !platform::Succeeded(rc)) ThrowStatementError(statement.Get());
    SQLLEN rows = 0;  // SQL_NO_DATA: the statement matched no row
    if (rc != SQL_NO_DATA && !platform::Succeeded(SQLRowCount(statement.Get(), &rows)))
        ThrowStatementError(statement.Get());
    if (rows != 1) throw CDBException();
}

void CRecordset::Close() {
    open_ = false;
    eof_ = true;
    deleted_ = false;
    mode_ = Mode::None;
    currentIdentity_.clear();
}
