#pragma once
// Move-only owners of ODBC handles and the error text built from a handle's diagnostics.

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace platform {

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Owns one ODBC handle of the given type and frees it in the destructor (never throws).
class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
        other.handle_ = SQL_NULL_HANDLE;
    }
    OdbcHandle& operator=(OdbcHandle&& other) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    ~OdbcHandle() { Reset(); }

    // Allocates a handle of `type` under `parent`. Returns an empty owner when that fails.
    static OdbcHandle Allocate(SQLSMALLINT type, SQLHANDLE parent);

    SQLHANDLE Get() const { return handle_; }
    SQLSMALLINT Type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
    // Frees the handle now (a connection handle must already be disconnected).
    void Reset();

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The error text of a handle's diagnostic records, in the order the driver returns them, up
// to the first record whose state is "00000": each message with its leading bracketed tags
// (and one blank after each tag) removed, followed by "\n". Must be called before any other
// call on the handle, which would discard the records.
std::string DiagnosticText(SQLSMALLINT handleType, SQLHANDLE handle);

// Removes the leading "[...]" tags of one diagnostic message, and one blank after each.
std::string StripDiagnosticTags(const std::string& message);

}  // namespace platform
