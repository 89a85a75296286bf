#include "platform/statement_hook.h"

namespace platform {
namespace {

StatementHook statementHook = nullptr;

// True when a test wants this statement to fail without running.
inline bool InjectedFault(const char* sql) {
    return statementHook != nullptr && statementHook(sql) != 0;
}

}  // namespace

void SetStatementHook(StatementHook hook) {
    statementHook = hook;
}

SQLRETURN ExecDirect(SQLHSTMT statement, const std::string& sql) {
    if (InjectedFault(sql.c_str())) return SQL_ERROR;
    return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                         SQL_NTS);
}

SQLRETURN Execute(SQLHSTMT statement, const std::string& sql) {
    if (InjectedFault(sql.c_str())) return SQL_ERROR;
    return SQLExecute(statement);
}

}  // namespace platform
