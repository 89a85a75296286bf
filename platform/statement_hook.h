#pragma once
// Every catalogue statement runs through here, so that tests can see, fail or interrupt each
// one at the moment it would reach the data source (the statement counterpart of the file
// layer's fault seam in file_io.h).

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace platform {

// A hook is asked before every statement with its SQL text: it returns 0 to let the
// statement run, or anything else to fail it with SQL_ERROR without running it (no diagnostic
// record is posted then). Null by default; settable only from code.
using StatementHook = int (*)(const char* sql);
void SetStatementHook(StatementHook hook);

// SQLExecDirect of `sql` on `statement`, after asking the hook.
SQLRETURN ExecDirect(SQLHSTMT statement, const std::string& sql);

// SQLExecute of the prepared `statement`, whose text is `sql`, after asking the hook.
SQLRETURN Execute(SQLHSTMT statement, const std::string& sql);

}  // namespace platform
