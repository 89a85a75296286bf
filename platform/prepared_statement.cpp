#include "platform/prepared_statement.h"

#include <algorithm>

#include "platform/statement_hook.h"

namespace platform {

PreparedStatement::PreparedStatement(PreparedStatement&& other) noexcept
    : statement_(other.statement_), cached_(other.cached_), sql_(other.sql_) {
    other.statement_ = SQL_NULL_HANDLE;
}

PreparedStatement& PreparedStatement::operator=(PreparedStatement&& other) noexcept {
    if (this != &other) {
        Release();
        statement_ = other.statement_;
        cached_ = other.cached_;
        sql_ = other.sql_;
        other.statement_ = SQL_NULL_HANDLE;
    }
    return *this;
}

void PreparedStatement::Release() {
    if (statement_ == SQL_NULL_HANDLE) return;
    SQLFreeStmt(statement_, SQL_CLOSE);
    SQLFreeStmt(statement_, SQL_UNBIND);
    SQLFreeStmt(statement_, SQL_RESET_PARAMS);
    statement_ = SQL_NULL_HANDLE;
}

SQLRETURN PreparedStatement::Execute(const std::vector<SqlParameter>& parameters) {
    using State = CachedStatement::State;
    if (cached_->state == State::kProven) {
        // Should preparing fail, the statement simply runs directly again.
        if (Succeeded(SQLPrepare(
                statement_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql_->c_str())), SQL_NTS)))
            cached_->state = State::kPrepared;
    }
    // The drivers read the bound values, and the length of each text, at the execution.
    std::vector<SQLLEN> lengths(parameters.size(), 0);
    for (size_t i = 0; i < parameters.size(); ++i) {
        const auto position = static_cast<SQLUSMALLINT>(i + 1);
        const SqlParameter& value = parameters[i];
        SQLRETURN rc = SQL_ERROR;
        if (const auto* text = std::get_if<std::string>(&value)) {
            lengths[i] = static_cast<SQLLEN>(text->size());
            rc = SQLBindParameter(statement_, position, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                  std::max<SQLULEN>(text->size(), 1), 0,
                                  const_cast<char*>(text->data()), lengths[i], &lengths[i]);
        } else if (const auto* real = std::get_if<double>(&value)) {
            rc = SQLBindParameter(statement_, position, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE,
                                  0, 0, const_cast<double*>(real), 0, nullptr);
        } else if (const auto* integer = std::get_if<int32_t>(&value)) {
            rc = SQLBindParameter(statement_, position, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER,
                                  0, 0, const_cast<int32_t*>(integer), 0, nullptr);
        } else {
            // "YYYY-MM-DD HH:MM:SS": 19 characters, no fraction.
            rc = SQLBindParameter(
                statement_, position, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19,
                0, const_cast<SQL_TIMESTAMP_STRUCT*>(&std::get<SQL_TIMESTAMP_STRUCT>(value)), 0,
                nullptr);
        }
        if (!Succeeded(rc)) return rc;
    }
    if (cached_->state == State::kPrepared) return platform::Execute(statement_, *sql_);
    SQLRETURN rc = platform::ExecDirect(statement_, *sql_);
    // SQL_NO_DATA: a searched change that matched no row ran all the same.
    if (Succeeded(rc) || rc == SQL_NO_DATA) cached_->state = State::kProven;
    return rc;
}

PreparedStatement StatementCache::Prepare(SQLHDBC connection, const std::string& sql,
                                          std::string* error) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return PreparedStatement(&found->second, &found->first);

    OdbcHandle statement = OdbcHandle::Allocate(SQL_HANDLE_STMT, connection);
    if (!statement) {
        *error = DiagnosticText(SQL_HANDLE_DBC, connection);
        return PreparedStatement();
    }
    auto kept = statements_.emplace(sql, CachedStatement{std::move(statement)}).first;
    return PreparedStatement(&kept->second, &kept->first);
}

}  // namespace platform
