// Writing, deleting and summing catalogue rows: UpdateSegmentRecord, AddSegmentRecord,
// DeleteSegmentRecord and StationStoredSize.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "platform/ctime.h"
#include "tests/catalogue/catalogue_test_util.h"
#include "tests/support/odbc_fixture.h"

namespace {

using catalogue_test::kCreator;
using catalogue_test::SegmentRow;
using testsupport::CatalogueRow;

class SegmentRecordsTest : public testsupport::CatalogueTest {
  protected:
    // Checks that `row` was written between `before` and now, then sets its LDDATE to `stamp`
    // so that whole rows can be compared.
    static void ExpectWrittenSince(int64_t before, CatalogueRow* row, const std::string& stamp) {
        EXPECT_GE(row->lddate, testsupport::LocalTimestampText(before)) << row->cpath;
        EXPECT_LE(row->lddate, testsupport::LocalTimestampText(CTime::GetCurrentTime().GetTime()))
            << row->cpath;
        row->lddate = stamp;
    }
};

TEST_P(SegmentRecordsTest, BothWritersLeaveOneRowForThePathHoldingTheNewValues) {
    using Writer = void (CArchiveWriter::*)(const char*, const char*, const char*, double, double,
                                            double, int32_t, int32_t);
    struct Case {
        const char* name;
        Writer write;
        bool rowExists;
    };
    const Case cases[] = {
        {"update of a path without a row", &CArchiveWriter::UpdateSegmentRecord, false},
        {"update of a path with a row", &CArchiveWriter::UpdateSegmentRecord, true},
        {"add for a path without a row", &CArchiveWriter::AddSegmentRecord, false},
        {"add for a path with a row", &CArchiveWriter::AddSegmentRecord, true},
    };
    const std::string path = "ABC\\07\\01022003-071500-BHZ.ABC";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Catalogue().Execute("delete from FILELIST");
        CatalogueRow neighbour = SegmentRow("ABC\\07\\01022003-071400-BHZ.ABC", 1044083640, 60);
        Catalogue().Insert(neighbour);
        if (c.rowExists) {
            // Another writer's row with old values: the path alone decides.
            Catalogue().Insert(SegmentRow(path, 1, 2, 3, "OLD", "OLD", "Other_c"));
        }
        int64_t before = CTime::GetCurrentTime().GetTime();

        CArchiveWriter writer(&database_, kCreator);
        (writer.*c.write)(path.c_str(), "ABC", "BHZ", 1044083700.25, 59.9921875, 128, 1, 3);

        auto rows = Catalogue().Rows();
        ASSERT_EQ(rows.size(), 2u);
        CatalogueRow expected = SegmentRow(path, 1044083700.25, 59.9921875, 128);
        ExpectWrittenSince(before, &rows[1], expected.lddate);
        EXPECT_EQ(rows, (std::vector<CatalogueRow>{neighbour, expected}));
    }
}

TEST_P(SegmentRecordsTest, UpdateAfterFindWritesTheRowAsTheCatalogueHoldsItThen) {
    // The row found a moment before is edited without selecting it again; a row deleted or
    // doubled in between ends as it would after an update that selects it anew.
    const std::string path = "ABC\\07\\01022003-071500-BHZ.ABC";
    const CatalogueRow found = SegmentRow(path, 1044083700, 60);
    const CatalogueRow lengthened = SegmentRow(path, 1044083700, 70);
    const CatalogueRow twin = SegmentRow(path, 1044083700, 60, 100, "ABC", "BHZ", "Other_c");
    struct Case {
        const char* name;
        std::vector<std::string> meanwhile;  // statements run between find and update
        std::vector<CatalogueRow> expected;  // LDDATE aside
    };
    const Case cases[] = {
        {"row as found", {}, {lengthened}},
        {"row deleted meanwhile: added again", {"delete from FILELIST"}, {lengthened}},
        {"second row of the path meanwhile: neither is changed",
         {"insert into FILELIST (sta,sps,gain,cpath,datatype,ch,creater,lddate,tbegin,tqty,foff)"
          " values ('ABC',100,1,'ABC\\07\\01022003-071500-BHZ.ABC',3,'BHZ','Other_c',"
          "'2003-02-01 07:15:00',1044083700,60,512)"},
         {found, twin}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Catalogue().Execute("delete from FILELIST");
        Catalogue().Insert(found);
        CArchiveWriter writer(&database_, kCreator);
        std::string foundPath;
        double tbegin = 0, tqty = 0;
        ASSERT_TRUE(writer.FindAppendableSegment("ABC", "BHZ", 100, 1044083760, 10, 60,
                                                 &foundPath, &tbegin, &tqty));
        for (const std::string& sql : c.meanwhile) Catalogue().Execute(sql);

        catalogue_test::ConsoleCapture console;
        writer.UpdateSegmentRecord(path.c_str(), "ABC", "BHZ", tbegin, tqty + 10, 100, 1, 3);

        auto rows = Catalogue().Rows();
        for (auto& row : rows) row.lddate = found.lddate;
        std::sort(rows.begin(), rows.end(),
                  [](const CatalogueRow& a, const CatalogueRow& b) { return a.creater < b.creater; });
        EXPECT_EQ(rows, c.expected);
    }
}

TEST_P(SegmentRecordsTest, DeleteRemovesEveryRowOfThePathAndSucceedsWithoutOne) {
    CatalogueRow kept = SegmentRow("ABC\\07\\kept", 1000, 10);
    Catalogue().Insert(kept);
    Catalogue().Insert(SegmentRow("ABC\\07\\gone", 2000, 10));
    Catalogue().Insert(SegmentRow("ABC\\07\\gone", 3000, 10, 100, "XYZ", "BHZ", "Other_c"));

    CArchiveWriter writer(&database_, kCreator);
    EXPECT_TRUE(writer.DeleteSegmentRecord("ABC\\07\\gone"));
    EXPECT_EQ(Catalogue().Rows(), std::vector<CatalogueRow>{kept});
    EXPECT_TRUE(writer.DeleteSegmentRecord("ABC\\07\\never"));
    EXPECT_EQ(Catalogue().Rows(), std::vector<CatalogueRow>{kept});
}

TEST_P(SegmentRecordsTest, StoredSizeSumsThisWritersRowsOfTheStation) {
    CArchiveWriter writer(&database_, kCreator);
    EXPECT_EQ(writer.StationStoredSize("ABC"), 0u);

    Catalogue().Insert(SegmentRow("a", 1000, 10, 100, "ABC", "BHZ"));
    Catalogue().Insert(SegmentRow("b", 2000, 3.5, 50, "ABC", "BHN"));
    Catalogue().Insert(SegmentRow("c", 3000, 10, 100, "ABC", "BHZ", "Other_c"));
    Catalogue().Insert(SegmentRow("d", 4000, 10, 100, "XYZ", "BHZ"));
    EXPECT_EQ(writer.StationStoredSize("ABC"), (100 * 10 * 4 + 512) + (50 * 3.5 * 4 + 512));
    EXPECT_EQ(writer.StationStoredSize("XYZ"), 100 * 10 * 4 + 512);
}

TEST_P(SegmentRecordsTest, StoredSizeIsSixtyFourBits) {
    // 2^31 samples per second for 2^10 s: 2^43 bytes of samples.
    Catalogue().Insert(SegmentRow("big", 1000, 1024, 2147483648.0));
    CArchiveWriter writer(&database_, kCreator);
    EXPECT_EQ(writer.StationStoredSize("ABC"), (uint64_t{1} << 43) + 512);
}

TEST_P(SegmentRecordsTest, QuotesInNamesSelectTheirOwnRowsOnly) {
    const char* sta = "O'B";
    const char* ch = "B'Z";
    const std::string path = "O'B\\07\\01022003-071500-B'Z.O'B";
    // Rows that a quote ending the text early, or a value read as SQL, would reach.
    CatalogueRow plain = SegmentRow("O\\07\\plain", 1044083640, 60, 100, "O", "B");
    CatalogueRow other = SegmentRow("XYZ\\07\\other", 1044083640, 60, 100, "XYZ", "BHZ");
    Catalogue().Insert(plain);
    Catalogue().Insert(other);
    CArchiveWriter writer(&database_, kCreator);

    writer.AddSegmentRecord(path.c_str(), sta, ch, 1044083640, 60, 100, 1, 3);
    writer.UpdateSegmentRecord(path.c_str(), sta, ch, 1044083640, 120, 100, 1, 3);
    auto rows = Catalogue().Rows();
    ASSERT_EQ(rows.size(), 3u);
    CatalogueRow written = SegmentRow(path, 1044083640, 120, 100, sta, ch);
    written.lddate = rows[1].lddate;
    EXPECT_EQ(rows, (std::vector<CatalogueRow>{plain, written, other}));

    std::string found;
    double tbegin = 0, tqty = 0;
    EXPECT_TRUE(
        writer.FindAppendableSegment(sta, ch, 100, 1044083760, 1, 60, &found, &tbegin, &tqty));
    EXPECT_EQ(found, path);
    EXPECT_EQ(writer.StationStoredSize(sta), 100 * 120 * 4 + 512);
    EXPECT_EQ(writer.StationStoredSize("x' or 'a'='a"), 0u);

    EXPECT_TRUE(writer.DeleteSegmentRecord(path.c_str()));
    EXPECT_TRUE(writer.DeleteSegmentRecord("x' or 'a'='a"));
    EXPECT_EQ(Catalogue().Rows(), (std::vector<CatalogueRow>{plain, other}));
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(SegmentRecordsTest);

}  // namespace
