#include "platform/odbc_handle.h"

#include <vector>

namespace platform {

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        type_ = other.type_;
        handle_ = other.handle_;
        other.handle_ = SQL_NULL_HANDLE;
    }
    return *this;
}

OdbcHandle OdbcHandle::Allocate(SQLSMALLINT type, SQLHANDLE parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!Succeeded(SQLAllocHandle(type, parent, &handle))) return OdbcHandle();
    return OdbcHandle(type, handle);
}

void OdbcHandle::Reset() {
    if (handle_ != SQL_NULL_HANDLE) {
        SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
}

std::string StripDiagnosticTags(const std::string& message) {
    size_t pos = 0;
    while (pos < message.size() && message[pos] == '[') {
        size_t close = message.find(']', pos);
        if (close == std::string::npos) break;
        pos = close + 1;
        if (pos < message.size() && message[pos] == ' ') ++pos;
    }
    return message.substr(pos);
}

std::string DiagnosticText(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::string text;
    if (handle == SQL_NULL_HANDLE) return text;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::vector<SQLCHAR> message(1024);
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!Succeeded(rc)) break;
        if (std::string(reinterpret_cast<char*>(state)) == "00000") break;
        text += StripDiagnosticTags(reinterpret_cast<char*>(message.data()));
        text += '\n';
    }
    return text;
}

}  // namespace platform
