// FindAppendableSegment: which catalogued segment a flush may extend.

#include <gtest/gtest.h>

#include <string>

#include "archive/archive_writer.h"
#include "tests/catalogue/catalogue_test_util.h"
#include "tests/support/odbc_fixture.h"

namespace {

using catalogue_test::kCreator;
using catalogue_test::SegmentRow;

constexpr double kRate = 128;  // an interval of 1/128 s is exact in binary
constexpr double kInterval = 1 / kRate;
constexpr double kStart = 1044083760;  // start of the data about to be written
constexpr double kUntouched = -12345;
const std::string kUntouchedPath = "untouched";

class FindAppendableSegmentTest : public testsupport::CatalogueTest {
  protected:
    // Runs the search for one second of data at kStart with a 60-minute bound.
    bool Find(const char* sta = "ABC", const char* ch = "BHZ", double duration = 1,
              int32_t maxMinutes = 60) {
        CArchiveWriter writer(&database_, kCreator);
        return writer.FindAppendableSegment(sta, ch, kRate, kStart, duration, maxMinutes, &path_,
                                            &tbegin_, &tqty_);
    }

    std::string path_ = kUntouchedPath;
    double tbegin_ = kUntouched;
    double tqty_ = kUntouched;
};

// Begin times are whole seconds and durations short binary fractions, so that every value
// has at most 15 significant digits and SQLite reads it back exactly.
TEST_P(FindAppendableSegmentTest, JudgesTheSegmentEndAndTheLongestSpan) {
    struct Case {
        const char* name;
        double tbegin, tqty;  // the catalogued segment
        double duration;      // of the data about to be written
        bool found;           // selected by the query
        bool appendable;
    };
    const Case cases[] = {
        {"ends one interval before", kStart - 60, 60 - kInterval, 1, true, true},
        {"ends exactly at the start", kStart - 60, 60, 1, true, true},
        {"ends one interval after (overlaps)", kStart - 60, 60 + kInterval, 1, true, true},
        {"ends 1.25 intervals before", kStart - 60, 60 - 1.25 * kInterval, 1, true, false},
        {"ends two intervals before", kStart - 60, 60 - 2 * kInterval, 1, false, false},
        {"grows to exactly 60*60-1 seconds", kStart - 3000, 3000, 599, true, true},
        {"grows half a second beyond", kStart - 3000, 3000, 599.5, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Catalogue().Execute("delete from FILELIST");
        Catalogue().Insert(SegmentRow("ABC\\07\\seg.ABC", c.tbegin, c.tqty, kRate));
        path_ = kUntouchedPath;
        tbegin_ = tqty_ = kUntouched;

        EXPECT_EQ(Find("ABC", "BHZ", c.duration), c.appendable);
        EXPECT_EQ(path_, c.appendable ? "ABC\\07\\seg.ABC" : kUntouchedPath);
        EXPECT_EQ(tbegin_, c.found ? c.tbegin : kUntouched);
        EXPECT_EQ(tqty_, c.found ? c.tqty : kUntouched);
    }
}

// The search's lower bound, tStart - 1.5/sps, is written with six decimals: a segment that
// ends below the exact bound but not below the written one is selected and, ending first, is
// the one judged, so that a contiguous segment behind it is not found.
TEST_P(FindAppendableSegmentTest, LowerBoundIsTheOneWrittenWithSixDecimals) {
    // kStart - 1.5/128 = ...759.98828125, written as ...759.988281.
    Catalogue().Insert(SegmentRow("ABC\\07\\early.ABC", kStart - 60, 60 - 0.0117189, kRate));
    Catalogue().Insert(SegmentRow("ABC\\07\\contiguous.ABC", kStart - 30, 30, kRate));
    EXPECT_FALSE(Find());
    EXPECT_EQ(path_, kUntouchedPath);
    EXPECT_EQ(tbegin_, kStart - 60);
}

TEST_P(FindAppendableSegmentTest, IgnoresRowsOfOtherCreatorsStationsAndChannels) {
    EXPECT_FALSE(Find());  // empty catalogue
    Catalogue().Insert(SegmentRow("other", kStart - 60, 60, kRate, "ABC", "BHZ", "Other_c"));
    Catalogue().Insert(SegmentRow("station", kStart - 60, 60, kRate, "ABD", "BHZ"));
    Catalogue().Insert(SegmentRow("channel", kStart - 60, 60, kRate, "ABC", "BHN"));
    EXPECT_FALSE(Find());
    EXPECT_EQ(path_, kUntouchedPath);
    EXPECT_EQ(tbegin_, kUntouched);
    EXPECT_EQ(tqty_, kUntouched);
}

TEST_P(FindAppendableSegmentTest, JudgesOnlyTheFirstRowReturned) {
    // Both rows pass the query; the first one stored (and the earlier-ending one) fails.
    Catalogue().Insert(SegmentRow("first", kStart - 60, 60 - 1.25 * kInterval, kRate));
    Catalogue().Insert(SegmentRow("second", kStart - 60, 60, kRate));
    EXPECT_FALSE(Find());
    EXPECT_EQ(path_, kUntouchedPath);
    EXPECT_EQ(tqty_, 60 - 1.25 * kInterval);
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(FindAppendableSegmentTest);

}  // namespace
