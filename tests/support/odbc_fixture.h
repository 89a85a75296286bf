#pragma once
// Throwaway catalogues for tests: an empty FILELIST behind a real ODBC data source, on SQLite
// (always) or on the private PostgreSQL cluster (scripts/pg-test-cluster, found through
// KORVANE_PG_DIR), reached with the same "DSN=...;UID=...;PWD=...;" string the tool uses.
//
// The first use in a process writes odbcinst.ini and odbc.ini into a temporary folder and
// points ODBCSYSINI and ODBCINI at them (unixODBC reads these once per process, so nothing in
// the process may connect before). Child processes inherit them and see the same data sources.
//
// Typical use, one body for both drivers:
//
//   class MyTest : public testsupport::CatalogueTest {};
//   TEST_P(MyTest, Something) { CArchiveWriter writer(&database_, "Korvane_c"); ...
//                               EXPECT_EQ(Catalogue().Rows(), expected); }
//   KORVANE_INSTANTIATE_CATALOGUE_TESTS(MyTest);

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/database.h"

namespace testsupport {

// One FILELIST row as tests write and read it.
struct CatalogueRow {
    std::string sta;
    double sps = 0;
    int32_t gain = 0;
    std::string cpath;
    int32_t datatype = 0;
    std::string ch;
    std::string creater;
    std::string lddate;  // local time "YYYY-MM-DD HH:MM:SS"; "" for NULL
    double tbegin = 0;
    double tqty = 0;
    int32_t foff = 0;

    friend auto operator<=>(const CatalogueRow&, const CatalogueRow&) = default;
};
void PrintTo(const CatalogueRow& row, std::ostream* out);

// The local time `secondsSince1970` in LDDATE's form, "YYYY-MM-DD HH:MM:SS".
std::string LocalTimestampText(int64_t secondsSince1970);

// The driver names tests are parameterised with.
inline constexpr const char* kSqliteDriver = "sqlite";
inline constexpr const char* kPostgresDriver = "postgres";

// An empty FILELIST (with the shipped indexes) in a data source of its own: a fresh database
// file for SQLite; for PostgreSQL a fresh table in a schema private to this test process, so
// that test processes running side by side do not meet.
class TestCatalogue {
  public:
    // The catalogue on `driver` ("sqlite" or "postgres"). Returns null and says why in
    // *whyNot when the driver cannot be reached (PostgreSQL without a running test cluster).
    // Creating another catalogue on the same driver in the same process replaces this one.
    static std::unique_ptr<TestCatalogue> Create(const std::string& driver, std::string* whyNot);

    TestCatalogue(const TestCatalogue&) = delete;
    TestCatalogue& operator=(const TestCatalogue&) = delete;
    ~TestCatalogue();

    const std::string& Driver() const { return driver_; }
    const std::string& Dsn() const { return dsn_; }
    const std::string& Uid() const { return uid_; }
    const std::string& Pwd() const { return pwd_; }
    // "DSN=...;UID=...;PWD=...;", ready for CDatabase::OpenEx.
    std::string ConnectString() const;

    // Drops the catalogue's own connection and makes a new one (after a server restart).
    // Throws CDBException when that fails.
    void Reconnect();

    // These throw std::runtime_error with the driver's error text, so that a failing test
    // names the cause.
    // Runs one statement on a connection of the catalogue's own.
    void Execute(const std::string& sql);
    // Inserts `row` with its values bound exactly.
    void Insert(const CatalogueRow& row);
    // Every row of FILELIST, sorted.
    std::vector<CatalogueRow> Rows();
    // The result of a query, every cell as text ("" for NULL).
    std::vector<std::vector<std::string>> Query(const std::string& sql);

  private:
    TestCatalogue(std::string driver, std::string dsn, std::string uid, std::string pwd);

    std::string driver_, dsn_, uid_, pwd_;
    CDatabase connection_;
};

// True when KORVANE_REQUIRE_PG=1: an unreachable PostgreSQL is then a failure, not a skip.
bool PostgresRequired();

// Value-parameterised base for catalogue tests: SetUp makes an empty catalogue for the
// parameter's driver and opens database_ on it as the tool would. An unreachable PostgreSQL
// skips the test, or fails it when PostgresRequired().
class CatalogueTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override;
    void TearDown() override;

    TestCatalogue& Catalogue() { return *catalogue_; }

    CDatabase database_;

  private:
    std::unique_ptr<TestCatalogue> catalogue_;
};

// Instantiates a CatalogueTest suite once per driver, the driver's name ending each test name.
#define KORVANE_INSTANTIATE_CATALOGUE_TESTS(Suite)                      \
    INSTANTIATE_TEST_SUITE_P(                                           \
        Drivers, Suite,                                                 \
        ::testing::Values(std::string(::testsupport::kSqliteDriver),    \
                          std::string(::testsupport::kPostgresDriver)), \
        [](const ::testing::TestParamInfo<std::string>& info) { return info.param; })

}  // namespace testsupport
