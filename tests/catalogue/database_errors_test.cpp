// Database errors inside the catalogue operations: printed as the driver gave them, never
// passed on, and the connection stays usable.

#include <gtest/gtest.h>

#include <string>

#include "archive/archive_writer.h"
#include "tests/catalogue/catalogue_test_util.h"
#include "tests/support/odbc_fixture.h"

namespace {

using catalogue_test::ConsoleCapture;
using catalogue_test::kCreator;

class DatabaseErrorsTest : public testsupport::CatalogueTest {
  protected:
    // The error text expected from this test's driver.
    std::string DriverText(const std::string& sqliteText, const std::string& postgresText) {
        return GetParam() == testsupport::kSqliteDriver ? sqliteText : postgresText;
    }
};

TEST_P(DatabaseErrorsTest, MissingTableIsReportedByTheRecordSetOperationsOnly) {
    Catalogue().Execute("DROP TABLE FILELIST");
    CArchiveWriter writer(&database_, kCreator);
    // The error text (each driver message ends with a line feed), a line feed of its own and
    // the console's.
    const std::string printed =
        DriverText(
            "no such table: FILELIST (1)\n",
            "ERROR: relation \"filelist\" does not exist;\nError while executing the query\n") +
        "\n\n";

    std::string path = "untouched";
    double tbegin = -1, tqty = -1;
    {
        ConsoleCapture console;
        EXPECT_FALSE(
            writer.FindAppendableSegment("ABC", "BHZ", 100, 1000, 1, 60, &path, &tbegin, &tqty));
        EXPECT_EQ(console.Text(), printed);
    }
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(tbegin, -1);
    for (auto write : {&CArchiveWriter::UpdateSegmentRecord, &CArchiveWriter::AddSegmentRecord}) {
        ConsoleCapture console;
        (writer.*write)("p", "ABC", "BHZ", 1000, 10, 100, 1, 3);
        EXPECT_EQ(console.Text(), printed);
    }
    {
        ConsoleCapture console;
        EXPECT_FALSE(writer.DeleteSegmentRecord("p"));
        EXPECT_EQ(writer.StationStoredSize("ABC"), 0u);
        writer.EnforceStorageLimit("ABC", 0);
        EXPECT_EQ(console.Text(), "");
    }

    // The same connection works once the table is back.
    Catalogue().Execute(
        "CREATE TABLE FILELIST (STA VARCHAR(255), SPS DOUBLE PRECISION, "
        "GAIN INTEGER, CPATH VARCHAR(255), DATATYPE INTEGER, CH VARCHAR(255), "
        "CREATER VARCHAR(255), LDDATE TIMESTAMP, TBEGIN DOUBLE PRECISION, "
        "TQTY DOUBLE PRECISION, FOFF INTEGER)");
    ConsoleCapture console;
    writer.AddSegmentRecord("p", "ABC", "BHZ", 1000, 10, 100, 1, 3);
    EXPECT_EQ(writer.StationStoredSize("ABC"), 100u * 10 * 4 + 512);
    EXPECT_EQ(console.Text(), "");
}

TEST_P(DatabaseErrorsTest, ErrorTextWithPercentSignsIsPrintedUnchanged) {
    // The data source refuses new rows with a message full of conversion specifiers.
    if (GetParam() == testsupport::kSqliteDriver) {
        Catalogue().Execute(
            "CREATE TRIGGER refuse BEFORE INSERT ON FILELIST "
            "BEGIN SELECT RAISE(ABORT, 'catalogue 100% full: %s%n%d'); END");
    } else {
        Catalogue().Execute(
            "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
            "$$BEGIN RAISE EXCEPTION 'catalogue 100%% full: %%s%%n%%d'; END$$");
        Catalogue().Execute(
            "CREATE TRIGGER refuse BEFORE INSERT ON FILELIST "
            "FOR EACH ROW EXECUTE FUNCTION refuse()");
    }
    CArchiveWriter writer(&database_, kCreator);
    {
        ConsoleCapture console;
        writer.UpdateSegmentRecord("p", "ABC", "BHZ", 1000, 10, 100, 1, 3);
        EXPECT_EQ(console.Text(), DriverText("catalogue 100% full: %s%n%d (19)\n",
                                             "ERROR: catalogue 100% full: %s%n%d;\n"
                                             "Error while executing the query\n") +
                                      "\n\n");
    }
    EXPECT_TRUE(Catalogue().Rows().empty());

    Catalogue().Execute("DROP TRIGGER refuse" + std::string(GetParam() == testsupport::kSqliteDriver
                                                                ? ""
                                                                : " ON FILELIST"));
    ConsoleCapture console;
    writer.UpdateSegmentRecord("p", "ABC", "BHZ", 1000, 10, 100, 1, 3);
    EXPECT_EQ(console.Text(), "");
    EXPECT_EQ(Catalogue().Rows().size(), 1u);
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(DatabaseErrorsTest);

}  // namespace
