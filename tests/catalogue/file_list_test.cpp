// The FILELIST record set: selection, the local-time LDDATE, and changes that touch exactly
// the current row.

#include "catalogue/file_list.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/catalogue/catalogue_test_util.h"
#include "tests/support/odbc_fixture.h"

namespace {

using catalogue_test::SegmentRow;
using testsupport::CatalogueRow;

class FileListTest : public testsupport::CatalogueTest {};

TEST_P(FileListTest, OpenReadsTheFirstMatchingRowAndLeavesFieldsAloneWhenNoneMatches) {
    catalogue_test::ScopedTimeZone zone("Europe/Berlin");
    CatalogueRow stored = SegmentRow("ABC\\07\\a.ABC", 1044083700.25, 59.9921875, 128);
    stored.gain = 7;
    stored.datatype = 5;
    stored.foff = 1024;
    Catalogue().Insert(stored);

    CFileList record(&database_);
    record.m_strFilter = "cpath='ABC\\07\\a.ABC'";
    record.Open();
    ASSERT_FALSE(record.IsEOF());
    EXPECT_EQ(record.m_STA, "ABC");
    EXPECT_EQ(record.m_SPS, 128);
    EXPECT_EQ(record.m_GAIN, 7);
    EXPECT_EQ(record.m_CPATH, "ABC\\07\\a.ABC");
    EXPECT_EQ(record.m_DATATYPE, 5);
    EXPECT_EQ(record.m_CH, "BHZ");
    EXPECT_EQ(record.m_CREATER, "Korvane_c");
    EXPECT_EQ(record.m_LDDATE.GetTime(), 1044080100);  // 07:15:00 in Berlin
    EXPECT_EQ(record.m_TBEGIN, 1044083700.25);
    EXPECT_EQ(record.m_TQTY, 59.9921875);
    EXPECT_EQ(record.m_FOFF, 1024);
    record.Close();

    record.m_strFilter = "cpath='nothing'";
    record.m_STA = "untouched";
    record.Open();
    EXPECT_TRUE(record.IsEOF());
    EXPECT_EQ(record.m_STA, "untouched");
}

TEST_P(FileListTest, AddNewStoresLddateAsLocalTime) {
    catalogue_test::ScopedTimeZone zone("Asia/Irkutsk");
    CFileList record(&database_);
    record.m_strFilter = "cpath='x'";
    record.Open();
    record.AddNew();
    record.m_CPATH = "x";
    record.m_LDDATE = CTime(1044054900);  // 2003-02-01 07:15:00 in Irkutsk
    record.Update();

    auto rows = Catalogue().Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cpath, "x");
    EXPECT_EQ(rows[0].lddate, "2003-02-01 07:15:00");
}

TEST_P(FileListTest, EditWritesOnlyChangedFieldsOfTheCurrentRow) {
    // A begin time of 17 significant digits, which SQLite reads back rounded to 15.
    Catalogue().Insert(SegmentRow("A", 1044083700.0078125, 60));
    Catalogue().Insert(SegmentRow("B", 1044083700.0078125, 60));

    CFileList record(&database_);
    record.m_strFilter = "cpath='A'";
    record.Open();
    record.Edit();
    record.m_TQTY = 120;
    record.m_CH = "BHN";
    record.Update();

    auto rows = Catalogue().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].cpath, "A");
    EXPECT_EQ(rows[0].tqty, 120);
    EXPECT_EQ(rows[0].ch, "BHN");
    EXPECT_EQ(rows[1].cpath, "B");
    EXPECT_EQ(rows[1].tqty, 60);
    EXPECT_EQ(rows[1].ch, "BHZ");
    // Compared where it is stored, since SQLite reads it back rounded: still exact in both.
    EXPECT_EQ(Catalogue().Query("SELECT CPATH FROM FILELIST WHERE TBEGIN = 1044083700.0078125 "
                                "ORDER BY CPATH"),
              (std::vector<std::vector<std::string>>{{"A"}, {"B"}}));
}

TEST_P(FileListTest, ChangeOfAPathHeldBySeveralRowsIsRefusedAndUndone) {
    const std::function<void(CFileList&)> changes[] = {
        [](CFileList& record) {
            record.Edit();
            record.m_TQTY = 1;
            record.Update();
        },
        [](CFileList& record) { record.Delete(); },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i == 0 ? "edit" : "delete");
        Catalogue().Execute("delete from FILELIST");
        Catalogue().Insert(SegmentRow("D", 1000, 10, 100, "ABC"));
        Catalogue().Insert(SegmentRow("D", 2000, 10, 100, "XYZ"));
        auto before = Catalogue().Rows();
        CFileList record(&database_);
        record.m_strFilter = "cpath='D'";
        record.Open();
        try {
            changes[i](record);
            ADD_FAILURE() << "no exception";
        } catch (const CDBException& error) {
            EXPECT_EQ(error.m_strError, "");
        }
        EXPECT_EQ(Catalogue().Rows(), before);
    }
}

TEST_P(FileListTest, EditOfARowDeletedMeanwhileIsRefused) {
    Catalogue().Insert(SegmentRow("D", 1000, 10));
    CFileList record(&database_);
    record.m_strFilter = "cpath='D'";
    record.Open();
    Catalogue().Execute("delete from FILELIST where cpath='D'");
    record.Edit();
    record.m_TQTY = 1;
    try {
        record.Update();
        ADD_FAILURE() << "no exception";
    } catch (const CDBException& error) {
        EXPECT_EQ(error.m_strError, "");
    }
    EXPECT_TRUE(Catalogue().Rows().empty());
}

TEST_P(FileListTest, ChangesWithoutACurrentRowOrBegunChangeAreRefused) {
    CFileList record(&database_);
    record.m_strFilter = "cpath='none'";
    record.Open();
    ASSERT_TRUE(record.IsEOF());
    const std::function<void()> misuses[] = {
        [&] { record.Edit(); },
        [&] { record.Delete(); },
        [&] { record.Update(); },
    };
    for (size_t i = 0; i < std::size(misuses); ++i) {
        SCOPED_TRACE(i);
        EXPECT_THROW(misuses[i](), CDBException);
    }
    EXPECT_TRUE(Catalogue().Rows().empty());
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(FileListTest);

}  // namespace
