// The shipped FILELIST schema: the catalogue's statements find their rows through an index.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "tests/support/odbc_fixture.h"

namespace {

class SchemaTest : public testsupport::CatalogueTest {
  protected:
    // The query plan of `sql` as one lower-case text.
    std::string Plan(const std::string& sql) {
        bool sqlite = GetParam() == testsupport::kSqliteDriver;
        std::string plan;
        for (const auto& row :
             Catalogue().Query((sqlite ? "EXPLAIN QUERY PLAN " : "EXPLAIN ") + sql))
            plan += row.back() + "\n";
        std::transform(plan.begin(), plan.end(), plan.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return plan;
    }
};

TEST_P(SchemaTest, CatalogueStatementsUseTheIndexes) {
    if (GetParam() == testsupport::kPostgresDriver) {
        // An empty table is cheapest to scan; forbid that to see whether an index can serve.
        Catalogue().Execute("SET enable_seqscan = off");
    }
    struct Case {
        const char* sql;
        const char* index;
        bool indexOnly = false;  // answered from the index without visiting the rows
    };
    const Case cases[] = {
        {"SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST "
         "WHERE creater='Korvane_c' and sta='ABC' and ch='BHZ' and tbegin+tqty >= "
         "1044083759.988281",
         "filelist_channel_end"},
        // Run at every flush over all of the station's rows: it must not visit each of them.
        {"select sum(sps*tqty*4+512) as DLSize from filelist where creater='Korvane_c' and "
         "sta='ABC'",
         "filelist_station_begin", true},
        {"select cpath,sps,tqty from filelist where creater='Korvane_c' and sta='ABC'  order by "
         "tbegin",
         "filelist_station_begin"},
        {"SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST "
         "WHERE cpath='ABC\\07\\x.ABC'",
         "filelist_path"},
        {"UPDATE FILELIST SET TQTY=1 WHERE CPATH='ABC\\07\\x.ABC'", "filelist_path"},
        {"delete from FILELIST where cpath='ABC\\07\\x.ABC'", "filelist_path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        std::string plan = Plan(c.sql);
        EXPECT_NE(plan.find(c.index), std::string::npos) << plan;
        if (GetParam() == testsupport::kSqliteDriver) {
            // A search of the index, not a scan of the table or of a whole index.
            EXPECT_NE(plan.find("search"), std::string::npos) << plan;
            EXPECT_EQ(plan.find("scan"), std::string::npos) << plan;
            if (c.indexOnly) {
                EXPECT_NE(plan.find("covering index"), std::string::npos) << plan;
            }
        } else {
            EXPECT_EQ(plan.find("seq scan"), std::string::npos) << plan;
            if (c.indexOnly) {
                EXPECT_NE(plan.find("index only scan"), std::string::npos) << plan;
            }
        }
    }
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(SchemaTest);

}  // namespace
