#pragma once
// Statements of one connection, prepared once and run again and again with new parameters.
//
// A flush runs the same few statements thousands of times in a long run; parsing and planning
// each again, and allocating and freeing its handle, cost several times more than running it
// (bench/run). So the connection keeps one statement handle per text, and every operation
// leases one for its own span: the lease leaves it closed, unbound and without parameters, so
// that nothing of one operation (no open cursor, no read transaction) outlives it.
//
// A text runs directly (SQLExecDirect) until it has succeeded once, and prepared (SQLPrepare
// once, then SQLExecute) from then on. A statement that cannot run at all (a missing table, a
// lost connection) thus fails as a direct execution does, with the driver's usual error text:
// the PostgreSQL driver words a failed preparation differently.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/odbc_handle.h"

namespace platform {

// A value bound to one "?" of a statement: text as VARCHAR, a double as DOUBLE, a 32-bit
// integer as INTEGER, a local date and time in whole seconds as TIMESTAMP.
using SqlParameter = std::variant<std::string, double, int32_t, SQL_TIMESTAMP_STRUCT>;

// What the cache knows of one text.
struct CachedStatement {
    enum class State {
        kNew,       // not yet run with success: runs directly
        kProven,    // has run with success: prepared before its next run
        kPrepared,  // prepared: runs with SQLExecute
    };
    OdbcHandle handle;
    State state = State::kNew;
};

// One operation's use of a cached statement. Move-only; on destruction the statement's cursor
// is closed and its columns and parameters are unbound (never throws).
class PreparedStatement {
  public:
    PreparedStatement() = default;
    PreparedStatement(CachedStatement* cached, const std::string* sql)
        : statement_(cached->handle.Get()), cached_(cached), sql_(sql) {}
    PreparedStatement(PreparedStatement&& other) noexcept;
    PreparedStatement& operator=(PreparedStatement&& other) noexcept;
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;
    ~PreparedStatement() { Release(); }

    // SQL_NULL_HANDLE when the statement could not be prepared.
    SQLHSTMT Get() const { return statement_; }
    explicit operator bool() const { return statement_ != SQL_NULL_HANDLE; }

    // Binds `parameters` to the statement's markers in order and runs it (through the
    // statement hook, with the statement's text). The values need only live during the call.
    // Returns the driver's result of the first call that did not succeed, else that of the
    // execution; its diagnostics are on Get().
    SQLRETURN Execute(const std::vector<SqlParameter>& parameters = {});

  private:
    void Release();

    SQLHSTMT statement_ = SQL_NULL_HANDLE;
    CachedStatement* cached_ = nullptr;  // owned by the cache, as is the text
    const std::string* sql_ = nullptr;
};

// The prepared statements of one connection, by text. Not copyable.
class StatementCache {
  public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The statement for `sql` on `connection`, allocating its handle on first use. When that
    // fails, returns an empty lease and puts the driver's error text (see DiagnosticText) into
    // *error; nothing is kept, so the next call tries again.
    PreparedStatement Prepare(SQLHDBC connection, const std::string& sql, std::string* error);

    // Frees every statement; must run before the connection is disconnected.
    void Clear() { statements_.clear(); }

  private:
    std::unordered_map<std::string, CachedStatement> statements_;
};

}  // namespace platform
