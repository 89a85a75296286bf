#include "tests/support/odbc_fixture.h"

#include <glob.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "platform/odbc_handle.h"
#include "tests/support/temp_dir.h"

namespace testsupport {
namespace {

constexpr const char* kSqliteDsn = "KROTEST";
constexpr const char* kSelectAllColumns =
    "SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST";

// What scripts/pg-test-cluster wrote into KORVANE_PG_DIR/env.
struct PostgresSettings {
    std::string dsn, uid, pwd, host, port, database, driver;
};

std::map<std::string, std::string> ReadKeyValueFile(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::string FindDriverLibrary(const std::string& name) {
    for (const std::string& pattern :
         {"/usr/lib/*/odbc/" + name, "/usr/lib/odbc/" + name, "/usr/local/lib/odbc/" + name}) {
        glob_t found{};
        if (glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
            std::string path = found.gl_pathv[0];
            globfree(&found);
            return path;
        }
        globfree(&found);
    }
    throw std::runtime_error("ODBC driver " + name + " not found (run scripts/install-deps)");
}

void ThrowOnFailure(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
    if (!platform::Succeeded(rc) && rc != SQL_NO_DATA)
        throw std::runtime_error("ODBC error: " + platform::DiagnosticText(type, handle));
}

platform::OdbcHandle NewStatement(CDatabase& connection) {
    platform::OdbcHandle statement =
        platform::OdbcHandle::Allocate(SQL_HANDLE_STMT, connection.Handle());
    if (!statement)
        throw std::runtime_error("ODBC error: " +
                                 platform::DiagnosticText(SQL_HANDLE_DBC, connection.Handle()));
    return statement;
}

// The private unixODBC configuration of this test process.
class OdbcTestEnvironment {
  public:
    static OdbcTestEnvironment& Get() {
        static OdbcTestEnvironment environment;
        return environment;
    }

    const std::string& SqliteDatabase() const { return sqliteDatabase_; }
    const std::optional<PostgresSettings>& Postgres() const { return postgres_; }
    const std::string& PostgresMissing() const { return postgresMissing_; }
    const std::string& Schema() const { return schema_; }

  private:
    OdbcTestEnvironment()
        : sqliteDatabase_(dir_.File("catalogue.db")),
          schema_("korvane_test_" + std::to_string(getpid())) {
        ReadPostgresSettings();
        std::ofstream drivers(dir_.File("odbcinst.ini"));
        std::string sqlite = FindDriverLibrary("libsqlite3odbc.so");
        drivers << "[SQLite3]\nDriver=" << sqlite << "\nSetup=" << sqlite << "\nThreading=2\nDontDLClose=1\n";
        std::ofstream sources(dir_.File("odbc.ini"));
        sources << "[" << kSqliteDsn << "]\nDriver=SQLite3\nDatabase=" << sqliteDatabase_
                << "\nJournalMode=WAL\nSyncPragma=NORMAL\nTimeout=30000\n";
        if (postgres_) {
            drivers << "\n[PostgreSQL ANSI]\nDriver=" << postgres_->driver << "\nDontDLClose=1\n";
            // Unqualified names resolve in this process's own schema only.
            sources << "\n[" << postgres_->dsn
                    << "]\nDriver=PostgreSQL ANSI\nServername=" << postgres_->host
                    << "\nPort=" << postgres_->port << "\nDatabase=" << postgres_->database
                    << "\nReadOnly=No\nConnSettings=SET search_path TO " << schema_ << "\n";
        }
        if (!drivers.flush() || !sources.flush())
            throw std::runtime_error("cannot write the ODBC files in " + dir_.Path());
        setenv("ODBCSYSINI", dir_.Path().c_str(), 1);
        setenv("ODBCINI", dir_.File("odbc.ini").c_str(), 1);
    }

    void ReadPostgresSettings() {
        const char* pgDir = getenv("KORVANE_PG_DIR");
        if (pgDir == nullptr || *pgDir == '\0') {
            postgresMissing_ = "KORVANE_PG_DIR is not set (run the tests through ctest)";
            return;
        }
        std::string envFile = std::string(pgDir) + "/env";
        auto values = ReadKeyValueFile(envFile);
        PostgresSettings settings{values["KORVANE_PG_DSN"],   values["KORVANE_PG_UID"],
                                  values["KORVANE_PG_PWD"],   values["KORVANE_PG_HOST"],
                                  values["KORVANE_PG_PORT"],  values["KORVANE_PG_DATABASE"],
                                  values["KORVANE_PG_DRIVER"]};
        if (settings.dsn.empty() || settings.port.empty() || settings.driver.empty()) {
            postgresMissing_ = "no PostgreSQL test cluster: " + envFile +
                               " missing or incomplete (scripts/pg-test-cluster start " + pgDir +
                               ")";
            return;
        }
        postgres_ = settings;
    }

    TempDir dir_;
    std::string sqliteDatabase_;
    std::optional<PostgresSettings> postgres_;
    std::string postgresMissing_;
    std::string schema_;
};

// The statements of a shipped DDL file: comments removed, split at semicolons.
std::vector<std::string> SchemaStatements(const std::string& driver) {
    std::string path = std::string(KORVANE_SOURCE_DIR) + "/schema/filelist." + driver + ".sql";
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string text, line;
    while (std::getline(in, line)) text += line.substr(0, line.find("--")) + "\n";
    std::vector<std::string> statements;
    std::istringstream parts(text);
    std::string statement;
    while (std::getline(parts, statement, ';')) {
        if (statement.find_first_not_of(" \t\n") != std::string::npos)
            statements.push_back(statement);
    }
    return statements;
}

void RemoveSqliteFiles(const std::string& database) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((database + suffix).c_str());
}

std::string ReadText(SQLHSTMT statement, SQLUSMALLINT column) {
    char value[4096];
    SQLLEN length = 0;
    ThrowOnFailure(SQLGetData(statement, column, SQL_C_CHAR, value, sizeof value, &length),
                   SQL_HANDLE_STMT, statement);
    return length == SQL_NULL_DATA ? std::string() : std::string(value);
}

}  // namespace

void PrintTo(const CatalogueRow& row, std::ostream* out) {
    char numbers[160];
    snprintf(numbers, sizeof numbers,
             "sps=%.17g tbegin=%.17g tqty=%.17g gain=%d datatype=%d foff=%d", row.sps, row.tbegin,
             row.tqty, row.gain, row.datatype, row.foff);
    *out << "{sta='" << row.sta << "' ch='" << row.ch << "' cpath='" << row.cpath << "' creater='"
         << row.creater << "' lddate='" << row.lddate << "' " << numbers << "}";
}

std::string LocalTimestampText(int64_t secondsSince1970) {
    time_t t = static_cast<time_t>(secondsSince1970);
    struct tm local {};
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

TestCatalogue::TestCatalogue(std::string driver, std::string dsn, std::string uid, std::string pwd)
    : driver_(std::move(driver)),
      dsn_(std::move(dsn)),
      uid_(std::move(uid)),
      pwd_(std::move(pwd)) {}

TestCatalogue::~TestCatalogue() {
    // Leaves the shared test database as it was found. (Not at process exit: the PostgreSQL
    // driver cannot connect any more once the process's exit handlers have run.)
    if (driver_ != kPostgresDriver) return;
    try {
        Execute("DROP SCHEMA IF EXISTS " + OdbcTestEnvironment::Get().Schema() + " CASCADE");
    } catch (const std::exception&) {
    }
}

std::unique_ptr<TestCatalogue> TestCatalogue::Create(const std::string& driver,
                                                     std::string* whyNot) {
    OdbcTestEnvironment& environment = OdbcTestEnvironment::Get();
    std::unique_ptr<TestCatalogue> catalogue;
    if (driver == kSqliteDriver) {
        RemoveSqliteFiles(environment.SqliteDatabase());
        catalogue.reset(new TestCatalogue(driver, kSqliteDsn, "KRO", "PLQ"));
        catalogue->connection_.OpenEx(catalogue->ConnectString());
    } else if (driver == kPostgresDriver) {
        if (!environment.Postgres()) {
            *whyNot = environment.PostgresMissing();
            return nullptr;
        }
        const PostgresSettings& settings = *environment.Postgres();
        catalogue.reset(new TestCatalogue(driver, settings.dsn, settings.uid, settings.pwd));
        try {
            catalogue->connection_.OpenEx(catalogue->ConnectString());
        } catch (const CDBException& error) {
            *whyNot = "PostgreSQL test cluster not reachable: " + error.m_strError;
            return nullptr;
        }
        catalogue->Execute("CREATE SCHEMA IF NOT EXISTS " + environment.Schema());
        catalogue->Execute("DROP TABLE IF EXISTS FILELIST");
    } else {
        throw std::invalid_argument("unknown catalogue driver '" + driver + "'");
    }
    for (const std::string& statement : SchemaStatements(driver)) catalogue->Execute(statement);
    return catalogue;
}

std::string TestCatalogue::ConnectString() const {
    return "DSN=" + dsn_ + ";UID=" + uid_ + ";PWD=" + pwd_ + ";";
}

void TestCatalogue::Reconnect() {
    connection_.Close();
    connection_.OpenEx(ConnectString());
}

void TestCatalogue::Execute(const std::string& sql) {
    platform::OdbcHandle statement = NewStatement(connection_);
    ThrowOnFailure(
        SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                      SQL_NTS),
        SQL_HANDLE_STMT, statement.Get());
}

void TestCatalogue::Insert(const CatalogueRow& row) {
    platform::OdbcHandle statement = NewStatement(connection_);
    SQLHSTMT s = statement.Get();
    SQLLEN lengths[5] = {
        static_cast<SQLLEN>(row.sta.size()), static_cast<SQLLEN>(row.cpath.size()),
        static_cast<SQLLEN>(row.ch.size()), static_cast<SQLLEN>(row.creater.size()),
        row.lddate.empty() ? SQL_NULL_DATA : static_cast<SQLLEN>(row.lddate.size())};
    auto text = [&](SQLUSMALLINT position, const std::string& value, SQLLEN* length,
                    SQLSMALLINT sqlType, SQLULEN size) {
        ThrowOnFailure(SQLBindParameter(s, position, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, size, 0,
                                        const_cast<char*>(value.c_str()),
                                        static_cast<SQLLEN>(value.size()), length),
                       SQL_HANDLE_STMT, s);
    };
    auto number = [&](SQLUSMALLINT position, SQLSMALLINT cType, SQLSMALLINT sqlType,
                      const void* value) {
        ThrowOnFailure(SQLBindParameter(s, position, SQL_PARAM_INPUT, cType, sqlType, 0, 0,
                                        const_cast<void*>(value), 0, nullptr),
                       SQL_HANDLE_STMT, s);
    };
    SQLINTEGER gain = row.gain, datatype = row.datatype, foff = row.foff;
    text(1, row.sta, &lengths[0], SQL_VARCHAR, 255);
    number(2, SQL_C_DOUBLE, SQL_DOUBLE, &row.sps);
    number(3, SQL_C_SLONG, SQL_INTEGER, &gain);
    text(4, row.cpath, &lengths[1], SQL_VARCHAR, 255);
    number(5, SQL_C_SLONG, SQL_INTEGER, &datatype);
    text(6, row.ch, &lengths[2], SQL_VARCHAR, 255);
    text(7, row.creater, &lengths[3], SQL_VARCHAR, 255);
    text(8, row.lddate, &lengths[4], SQL_TYPE_TIMESTAMP, 19);
    number(9, SQL_C_DOUBLE, SQL_DOUBLE, &row.tbegin);
    number(10, SQL_C_DOUBLE, SQL_DOUBLE, &row.tqty);
    number(11, SQL_C_SLONG, SQL_INTEGER, &foff);
    std::string sql =
        "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) "
        "VALUES (?,?,?,?,?,?,?,?,?,?,?)";
    ThrowOnFailure(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS),
                   SQL_HANDLE_STMT, s);
}

std::vector<CatalogueRow> TestCatalogue::Rows() {
    platform::OdbcHandle statement = NewStatement(connection_);
    SQLHSTMT s = statement.Get();
    ThrowOnFailure(
        SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSelectAllColumns)), SQL_NTS),
        SQL_HANDLE_STMT, s);
    std::vector<CatalogueRow> rows;
    for (;;) {
        SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA) break;
        ThrowOnFailure(rc, SQL_HANDLE_STMT, s);
        CatalogueRow row;
        SQLLEN indicator = 0;
        SQLINTEGER integer = 0;
        auto readInteger = [&](SQLUSMALLINT column) {
            integer = 0;
            ThrowOnFailure(SQLGetData(s, column, SQL_C_SLONG, &integer, 0, &indicator),
                           SQL_HANDLE_STMT, s);
            return indicator == SQL_NULL_DATA ? 0 : integer;
        };
        auto readDouble = [&](SQLUSMALLINT column) {
            double value = 0;
            ThrowOnFailure(SQLGetData(s, column, SQL_C_DOUBLE, &value, 0, &indicator),
                           SQL_HANDLE_STMT, s);
            return indicator == SQL_NULL_DATA ? 0.0 : value;
        };
        row.sta = ReadText(s, 1);
        row.sps = readDouble(2);
        row.gain = readInteger(3);
        row.cpath = ReadText(s, 4);
        row.datatype = readInteger(5);
        row.ch = ReadText(s, 6);
        row.creater = ReadText(s, 7);
        SQL_TIMESTAMP_STRUCT stamp{};
        ThrowOnFailure(SQLGetData(s, 8, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator),
                       SQL_HANDLE_STMT, s);
        if (indicator != SQL_NULL_DATA) {
            char text[64];
            snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", stamp.year, stamp.month,
                     stamp.day, stamp.hour, stamp.minute, stamp.second);
            row.lddate = text;
        }
        row.tbegin = readDouble(9);
        row.tqty = readDouble(10);
        row.foff = readInteger(11);
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::vector<std::string>> TestCatalogue::Query(const std::string& sql) {
    platform::OdbcHandle statement = NewStatement(connection_);
    SQLHSTMT s = statement.Get();
    ThrowOnFailure(
        SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS),
        SQL_HANDLE_STMT, s);
    SQLSMALLINT columns = 0;
    ThrowOnFailure(SQLNumResultCols(s, &columns), SQL_HANDLE_STMT, s);
    std::vector<std::vector<std::string>> rows;
    while (columns > 0) {
        SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA) break;
        ThrowOnFailure(rc, SQL_HANDLE_STMT, s);
        std::vector<std::string> row;
        for (SQLSMALLINT column = 1; column <= columns; ++column)
            row.push_back(ReadText(s, static_cast<SQLUSMALLINT>(column)));
        rows.push_back(std::move(row));
    }
    return rows;
}

bool PostgresRequired() {
    const char* required = getenv("KORVANE_REQUIRE_PG");
    return required != nullptr && std::string(required) == "1";
}

void CatalogueTest::SetUp() {
    std::string whyNot;
    try {
        catalogue_ = TestCatalogue::Create(GetParam(), &whyNot);
        if (!catalogue_) {
            if (PostgresRequired()) FAIL() << whyNot;
            GTEST_SKIP() << whyNot;
        }
        database_.OpenEx(catalogue_->ConnectString());
    } catch (const CDBException& error) {
        FAIL() << "setting up the " << GetParam() << " catalogue failed: " << error.m_strError;
    } catch (const std::exception& error) {
        FAIL() << "setting up the " << GetParam() << " catalogue failed: " << error.what();
    }
}

void CatalogueTest::TearDown() {
    database_.Close();
    catalogue_.reset();
}

}  // namespace testsupport
