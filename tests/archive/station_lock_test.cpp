// One run at a time per station: two writers over separate connections, one per thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/archive/archive_test_support.h"

namespace archive_test {
namespace {

using namespace std::chrono_literals;
using testsupport::CatalogueRow;

class StationLockTest : public ArchiveTest {
  protected:
    // Console messages from both threads.
    void CaptureFromAnyThread() {
        SetConsoleSink([this](std::string_view message) {
            std::lock_guard<std::mutex> guard(mutex_);
            shared_.emplace_back(message.substr(0, message.size() - 1));
            return 0;
        });
    }
    std::vector<std::string> SharedMessages() {
        std::lock_guard<std::mutex> guard(mutex_);
        return shared_;
    }

    std::mutex mutex_;
    std::vector<std::string> shared_;
};

// A second run for the station waits at its first write until the first run's writer is gone,
// so its pieces land after all of the first run's: here they continue the first run's segment.
TEST_P(StationLockTest, SecondRunWaitsUntilTheFirstEnds) {
    CaptureFromAnyThread();
    const std::vector<float> early = Ramp(12000);
    const std::vector<float> late = Ramp(12000, -7);
    auto first = NewWriter();
    first->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 12000, early.data());
    ASSERT_TRUE(std::filesystem::exists(Root() + "/ABC/.korvane.lock"));

    std::atomic<bool> secondDone = false;
    std::atomic<bool> secondConnected = false;
    std::thread second([&] {
        CDatabase database;
        try {
            secondConnected = database.OpenEx(Catalogue().ConnectString());
        } catch (const CDBException&) {
        }
        CArchiveWriter writer(&database, kCreator);
        writer.SetDataRoot(Root().c_str());
        writer.WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25 + 120, 12000, late.data());
        writer.FlushAll();
        secondDone = true;
    });

    const std::string waiting = "Waiting for station ABC, locked by another run...";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (SharedMessages().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(SharedMessages(), std::vector<std::string>{waiting});
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(secondDone);

    first->FlushAll();  // the first run's last piece, while the second still waits
    EXPECT_FALSE(secondDone);
    first.reset();
    second.join();
    ASSERT_TRUE(secondConnected);

    const std::string cpath = "ABC\\07\\01022003-071500-BHZ.ABC";
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{cpath});
    EXPECT_EQ(FileBytes(cpath).substr(512), LittleEndianBytes(early) + LittleEndianBytes(late));
    EXPECT_EQ(Rows(), (std::vector<CatalogueRow>{
                          SegmentRow("ABC", "BHZ", cpath, 100, kFeb1st2003At071500_25, 240)}));
    EXPECT_EQ(SharedMessages(), std::vector<std::string>{waiting});
}

// A run that had to wait for the station reads its stored total again: the total it read
// before waiting lacks what the other run filed, and the storage check must count that.
TEST_P(StationLockTest, RunThatWaitedCountsWhatTheOtherRunFiled) {
    CaptureFromAnyThread();
    const std::vector<float> part = Ramp(150000);  // 600,000 bytes as floats
    auto first = NewWriter();
    first->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25, 150000, part.data());

    std::thread second([&] {
        CDatabase database;
        try {
            database.OpenEx(Catalogue().ConnectString());
        } catch (const CDBException&) {
        }
        CArchiveWriter writer(&database, kCreator);
        writer.SetDataRoot(Root().c_str());
        writer.AddStation("ABC", 60, 1);  // 1 MiB
        // Its first piece finds the station under the limit, then waits for the lock.
        writer.WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25 + 86400, 5000, part.data());
        writer.FlushAll();
    });

    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (SharedMessages().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(SharedMessages(),
              std::vector<std::string>{"Waiting for station ABC, locked by another run..."});
    // Now over the limit: 1,200,512 bytes in one segment.
    first->WriteSamples("ABC", "BHZ", 100, kFeb1st2003At071500_25 + 1500, 150000, part.data());
    first->FlushAll();
    first.reset();
    second.join();

    const std::string firstPath = "ABC\\07\\01022003-071500-BHZ.ABC";
    const std::string secondPath = "ABC\\07\\02022003-071500-BHZ.ABC";
    EXPECT_EQ(SharedMessages(),
              (std::vector<std::string>{"Waiting for station ABC, locked by another run...",
                                        "Deleted file '" + DiskPath(firstPath) + "'"}));
    EXPECT_EQ(SegmentFiles(), std::vector<std::string>{secondPath});
}

// The lock is taken only by a flush that has samples: a run that writes nothing leaves the
// data root as it was.
TEST_P(StationLockTest, RunThatWritesNothingCreatesNothing) {
    auto writer = NewWriter();
    const int station = writer->AddStation("ABC", 60, 100);
    writer->FindOrAddChannel(station, "BHZ", 100);
    writer->WriteSamples("ABC", "BHN", 100, kFeb1st2003At071500_25, 0, nullptr);
    writer->FlushAll();
    writer.reset();
    EXPECT_TRUE(std::filesystem::is_empty(Root()));
    EXPECT_EQ(messages_, std::vector<std::string>{});
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(StationLockTest);

}  // namespace
}  // namespace archive_test
