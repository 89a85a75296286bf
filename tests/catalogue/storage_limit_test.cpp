// EnforceStorageLimit: a station at or over its limit loses its oldest segment files and rows.

#include <errno.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/segment_path.h"
#include "platform/file_io.h"
#include "tests/catalogue/catalogue_test_util.h"
#include "tests/support/odbc_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using catalogue_test::ConsoleCapture;
using catalogue_test::kCreator;
using catalogue_test::SegmentRow;

constexpr int64_t kSegmentBytes = 100 * 10 * 4 + 512;  // 100 samples/s for 10 s

class StorageLimitTest : public testsupport::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        std::filesystem::create_directory(root_);
    }
    void TearDown() override {
        platform::SetFileFaultHook(nullptr);
        CatalogueTest::TearDown();
    }

    static std::string PathOf(int n, const char* sta = "ABC") {
        char name[64];
        snprintf(name, sizeof name, "%s\\07\\segment-%02d.%s", sta, n, sta);
        return name;
    }
    std::string DiskPath(const std::string& cpath) const { return DiskPathOf(root_, cpath); }
    bool OnDisk(const std::string& cpath) const { return std::filesystem::exists(DiskPath(cpath)); }

    // Catalogues a segment of kSegmentBytes and, unless told otherwise, writes its file.
    void AddSegment(const std::string& cpath, double tbegin, bool withFile = true,
                    const std::string& sta = "ABC", const std::string& ch = "BHZ",
                    const std::string& creater = kCreator) {
        Catalogue().Insert(SegmentRow(cpath, tbegin, 10, 100, sta, ch, creater));
        if (!withFile) return;
        std::filesystem::path file = DiskPath(cpath);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "segment";
    }

    // The catalogued paths, sorted.
    std::vector<std::string> CataloguedPaths() {
        std::vector<std::string> paths;
        for (const auto& row : Catalogue().Rows()) paths.push_back(row.cpath);
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // Runs the quota for station ABC and returns what it printed.
    std::string Enforce(int64_t limitBytes) {
        CArchiveWriter writer(&database_, kCreator);
        writer.SetDataRoot(root_.c_str());
        ConsoleCapture console;
        writer.EnforceStorageLimit("ABC", limitBytes);
        return console.Text();
    }

    std::string DeletedLines(int first, int last) const {
        std::string lines;
        for (int n = first; n <= last; ++n) lines += "Deleted file '" + DiskPath(PathOf(n)) + "'\n";
        return lines;
    }

    testsupport::TempDir dir_;
    std::string root_ = dir_.File("archive");
};

TEST_P(StorageLimitTest, DeletesOldestFirstUntilTheTotalIsBelowTheLimit) {
    struct Case {
        int64_t limit;
        int deleted;  // oldest segments removed
    };
    const Case cases[] = {
        {-1, 0},                     // no limit
        {3 * kSegmentBytes + 1, 0},  // below the limit
        {3 * kSegmentBytes, 1},      // at the limit
        {2 * kSegmentBytes + 1, 1},  // a little above two segments
        {2 * kSegmentBytes, 2},
        {0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "limit " << c.limit);
        Catalogue().Execute("delete from FILELIST");
        // Stored newest first, so that only the order by begin time puts them right.
        for (int n = 3; n >= 1; --n) AddSegment(PathOf(n), 1000.0 * n);

        EXPECT_EQ(Enforce(c.limit), DeletedLines(1, c.deleted));
        std::vector<std::string> remaining;
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(OnDisk(PathOf(n)), n > c.deleted) << n;
            if (n > c.deleted) remaining.push_back(PathOf(n));
        }
        EXPECT_EQ(CataloguedPaths(), remaining);
    }
}

TEST_P(StorageLimitTest, FollowsTheWritersOwnRowsBetweenChecksAndDeletesOnlyOnAFreshTotal) {
    const int64_t limit = 3 * kSegmentBytes;
    struct Case {
        const char* name;
        const char* meanwhile;  // done to the catalogue by someone else after the first check
        void (*change)(CArchiveWriter&, const std::string& root);  // then by the writer
        std::string printed;                                       // by the second check
        std::vector<int> remaining;
    };
    const Case cases[] = {
        {"a third segment added: at the limit", nullptr,
         [](CArchiveWriter& writer, const std::string& root) {
             std::ofstream(DiskPathOf(root, PathOf(3))) << "segment";
             writer.AddSegmentRecord(PathOf(3).c_str(), "ABC", "BHZ", 3000, 10, 100, 1, 3);
         },
         "oldest", {2, 3}},
        {"the second lengthened past the limit", nullptr,
         [](CArchiveWriter& writer, const std::string&) {
             writer.UpdateSegmentRecord(PathOf(2).c_str(), "ABC", "BHZ", 2000, 25, 100, 1, 3);
         },
         "oldest", {2}},
        {"the second's row deleted by someone else, then a third added: under the limit",
         "delete from FILELIST where tbegin=2000",
         [](CArchiveWriter& writer, const std::string& root) {
             std::ofstream(DiskPathOf(root, PathOf(3))) << "segment";
             writer.AddSegmentRecord(PathOf(3).c_str(), "ABC", "BHZ", 3000, 10, 100, 1, 3);
         },
         "", {1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Catalogue().Execute("delete from FILELIST");
        AddSegment(PathOf(1), 1000);
        AddSegment(PathOf(2), 2000);
        CArchiveWriter writer(&database_, kCreator);
        writer.SetDataRoot(root_.c_str());
        ConsoleCapture console;
        writer.EnforceStorageLimit("ABC", limit);
        if (c.meanwhile != nullptr) Catalogue().Execute(c.meanwhile);
        c.change(writer, root_);
        writer.EnforceStorageLimit("ABC", limit);

        EXPECT_EQ(console.Text(), c.printed.empty() ? "" : DeletedLines(1, 1));
        std::vector<std::string> remaining;
        for (int n : c.remaining) remaining.push_back(PathOf(n));
        EXPECT_EQ(CataloguedPaths(), remaining);
    }
}

TEST_P(StorageLimitTest, TakesAtMostElevenSegmentsOfAnyChannelPerCall) {
    for (int n = 1; n <= 20; ++n)
        AddSegment(PathOf(n), 1000.0 * n, true, "ABC", n % 2 ? "BHZ" : "BHN");

    EXPECT_EQ(Enforce(1), DeletedLines(1, 11));
    EXPECT_EQ(CataloguedPaths().size(), 9u);
    EXPECT_EQ(Enforce(1), DeletedLines(12, 20));
    EXPECT_TRUE(CataloguedPaths().empty());
}

TEST_P(StorageLimitTest, LeavesOtherStationsAndOtherCreatorsAlone) {
    // Older than this writer's segments of ABC, so that they would go first if counted.
    AddSegment(PathOf(1, "XYZ"), 100, true, "XYZ");
    AddSegment("ABC\\07\\other-creator.ABC", 200, true, "ABC", "BHZ", "Other_c");
    AddSegment(PathOf(1), 1000);
    AddSegment(PathOf(2), 2000);

    EXPECT_EQ(Enforce(1), DeletedLines(1, 2));
    EXPECT_EQ(CataloguedPaths(),
              (std::vector<std::string>{"ABC\\07\\other-creator.ABC", PathOf(1, "XYZ")}));
    EXPECT_TRUE(OnDisk(PathOf(1, "XYZ")));
    EXPECT_TRUE(OnDisk("ABC\\07\\other-creator.ABC"));
}

TEST_P(StorageLimitTest, DropsTheRowOfAMissingFileSilentlyAndCountsItAsFreed) {
    AddSegment(PathOf(1), 1000, /*withFile=*/false);
    AddSegment(PathOf(2), 2000);
    AddSegment(PathOf(3), 3000);

    EXPECT_EQ(Enforce(2 * kSegmentBytes + 1), "");
    EXPECT_EQ(CataloguedPaths(), (std::vector<std::string>{PathOf(2), PathOf(3)}));
    EXPECT_TRUE(OnDisk(PathOf(2)));
}

TEST_P(StorageLimitTest, NeverDeletesOutsideTheDataRoot) {
    const std::string outside = dir_.Write("outside.dat", "not part of the archive");
    const std::string unsafePaths[] = {"..\\outside.dat", "ABC\\..\\..\\outside.dat", outside};
    for (const std::string& unsafe : unsafePaths) {
        SCOPED_TRACE(unsafe);
        Catalogue().Execute("delete from FILELIST");
        Catalogue().Insert(SegmentRow(unsafe, 500, 10));
        AddSegment(PathOf(2), 2000);
        AddSegment(PathOf(3), 3000);

        EXPECT_EQ(Enforce(2 * kSegmentBytes + 1),
                  "ERROR: catalogued file '" + DiskPath(unsafe) +
                      "' lies outside the data root, not deleted\n");
        EXPECT_EQ(testsupport::ReadFileBytes(outside), "not part of the archive");
        // Its row goes as a missing file's would, and its size counts as freed.
        EXPECT_EQ(CataloguedPaths(), (std::vector<std::string>{PathOf(2), PathOf(3)}));
    }
}

int RefuseUnlink(platform::FileCall call, const char*) {
    return call == platform::FileCall::Unlink ? EACCES : 0;
}

TEST_P(StorageLimitTest, KeepsTheRowOfAFileThatCannotBeDeletedButCountsItAsFreed) {
    for (int n = 1; n <= 3; ++n) AddSegment(PathOf(n), 1000.0 * n);
    platform::SetFileFaultHook(RefuseUnlink);

    EXPECT_EQ(Enforce(2 * kSegmentBytes + 1), "");
    EXPECT_EQ(CataloguedPaths(), (std::vector<std::string>{PathOf(1), PathOf(2), PathOf(3)}));
    EXPECT_TRUE(OnDisk(PathOf(1)));
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(StorageLimitTest);

}  // namespace
