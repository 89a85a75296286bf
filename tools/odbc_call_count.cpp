// libodbc-call-count.so: counts the catalogue statements a program sends through unixODBC.
//
//   LD_PRELOAD=/path/libodbc-call-count.so ODBC_CALL_COUNT_FILE=counts.txt korvane ...
//
// Loaded before the driver manager, it stands in for a few ODBC entry points, counts each
// call and passes it on unchanged to the next definition (the driver manager's). When the
// program ends it appends one line to the file named by ODBC_CALL_COUNT_FILE (nothing when
// that is unset), so that every process of a run that loaded it adds its own:
//
//   executions=<SQLExecDirect + SQLExecute> prepares=<SQLPrepare> transactions=<SQLEndTran>
//   statement_handles=<SQLAllocHandle of statements>
//
// Only the program's own calls pass through here: the drivers are reached by the driver
// manager through its own tables, and statements a driver runs on its own (SQLite's BEGIN,
// the PostgreSQL driver's implicit transaction control) are not counted.

#include <dlfcn.h>
#include <sql.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<long> gExecutions{0};
std::atomic<long> gPrepares{0};
std::atomic<long> gTransactions{0};
std::atomic<long> gStatementHandles{0};

// The next definition of `name` after this library: the driver manager's.
template <typename Function>
Function Next(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "odbc-call-count: %s not found\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

[[gnu::destructor]] void WriteCounts() {
    const char* path = std::getenv("ODBC_CALL_COUNT_FILE");
    if (path == nullptr || *path == '\0') return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    std::fprintf(file, "executions=%ld prepares=%ld transactions=%ld statement_handles=%ld\n",
                 gExecutions.load(), gPrepares.load(), gTransactions.load(),
                 gStatementHandles.load());
    std::fclose(file);
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    static const auto next = Next<SQLRETURN(SQL_API*)(SQLHSTMT, SQLCHAR*, SQLINTEGER)>("SQLExecDirect");
    ++gExecutions;
    return next(statement, text, length);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT statement) {
    static const auto next = Next<SQLRETURN(SQL_API*)(SQLHSTMT)>("SQLExecute");
    ++gExecutions;
    return next(statement);
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    static const auto next = Next<SQLRETURN(SQL_API*)(SQLHSTMT, SQLCHAR*, SQLINTEGER)>("SQLPrepare");
    ++gPrepares;
    return next(statement, text, length);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    static const auto next =
        Next<SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT)>("SQLEndTran");
    ++gTransactions;
    return next(type, handle, completion);
}

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE parent, SQLHANDLE* handle) {
    static const auto next =
        Next<SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>("SQLAllocHandle");
    if (type == SQL_HANDLE_STMT) ++gStatementHandles;
    return next(type, parent, handle);
}

}  // extern "C"
