#include "platform/database.h"

CDatabase::~CDatabase() { Close(); }

bool CDatabase::OpenEx(const std::string& connect) {
    Close();
    platform::OdbcHandle environment = platform::OdbcHandle::Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (!environment) throw CDBException("Cannot allocate the ODBC environment\n");
    SQLRETURN rc = SQLSetEnvAttr(environment.Get(), SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!platform::Succeeded(rc))
        throw CDBException(platform::DiagnosticText(SQL_HANDLE_ENV, environment.Get()));

    platform::OdbcHandle connection = platform::OdbcHandle::Allocate(SQL_HANDLE_DBC, environment.Get());
    if (!connection)
        throw CDBException(platform::DiagnosticText(SQL_HANDLE_ENV, environment.Get()));
    SQLSetConnectAttr(connection.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0);
    SQLSetConnectAttr(connection.Get(), SQL_ATTR_ACCESS_MODE,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_WRITE)), 0);

    // No dialog can be shown here, so the driver is never asked to prompt: whatever the
    // connect string lacks makes the connection fail with the driver's own message.
    SQLCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    rc = SQLDriverConnect(connection.Get(), nullptr,
                          reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())), SQL_NTS,
                          completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!platform::Succeeded(rc)) {
        std::string text = platform::DiagnosticText(SQL_HANDLE_DBC, connection.Get());
        throw CDBException(std::move(text));
    }
    environment_ = std::move(environment);
    connection_ = std::move(connection);
    connected_ = true;
    return true;
}

platform::PreparedStatement CDatabase::Prepare(const std::string& sql, std::string* error) {
    std::string text;
    platform::PreparedStatement statement;
    if (connected_) statement = statements_.Prepare(connection_.Get(), sql, &text);
    if (error != nullptr) *error = std::move(text);
    return statement;
}

void CDatabase::Close() {
    statements_.Clear();
    if (connected_) {
        SQLDisconnect(connection_.Get());
        connected_ = false;
    }
    connection_.Reset();  // the connection goes before its environment
    environment_.Reset();
}
