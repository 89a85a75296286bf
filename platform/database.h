#pragma once
// The catalogue connection: a small stand-in for the class library's database classes.

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "platform/odbc_handle.h"
#include "platform/prepared_statement.h"

// A database error: m_strError is the text built from the driver's diagnostic records
// (see platform::DiagnosticText), or empty when the record-set layer raised it on its own.
class CDBException {
public:
    CDBException() = default;
    explicit CDBException(std::string error) : m_strError(std::move(error)) {}

    std::string m_strError;
};

// One ODBC connection, owning its environment and connection handles. Closed by the destructor.
class CDatabase {
public:
    // Login timeout in seconds used by OpenEx, as the class library's default.
    static constexpr SQLUINTEGER kLoginTimeoutSeconds = 15;

    CDatabase() = default;
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;
    ~CDatabase();

    // Connects read-write with `connect` ("DSN=...;UID=...;PWD=...;") through SQLDriverConnect
    // without prompting, in an ODBC 3 environment. Returns true when connected. Throws
    // CDBException carrying the driver's error text when the connection fails.
    bool OpenEx(const std::string& connect);

    bool IsOpen() const { return connected_; }
    // The connection handle for statement calls; SQL_NULL_HANDLE when not open.
    SQLHDBC Handle() const { return connection_.Get(); }

    // The statement of this connection prepared for `sql` ("?" marking its parameters),
    // kept from its first use until the connection closes. Empty when the connection is not
    // open or the statement cannot be prepared; *error (when given) then holds the driver's
    // error text (empty when not connected).
    platform::PreparedStatement Prepare(const std::string& sql, std::string* error = nullptr);

    // Disconnects and releases the handles; does nothing when not open. Never throws.
    void Close();

private:
    platform::OdbcHandle environment_;
    platform::OdbcHandle connection_;
    platform::StatementCache statements_;  // freed before the connection
    bool connected_ = false;
};
