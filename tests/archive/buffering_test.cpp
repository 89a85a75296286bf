// Taking series into channel buffers: chunking, the contiguity and room rules, FlushAll.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/archive/archive_test_support.h"

namespace archive_test {
namespace {

using testsupport::CatalogueRow;

class BufferingTest : public ArchiveTest {
  protected:
    static const CSegmentBuffer& Buffer(const CArchiveWriter& writer, int station = 0,
                                        int channel = 0) {
        return *writer.m_stations[static_cast<size_t>(station)]
                    ->m_channels[static_cast<size_t>(channel)];
    }
    // The rows of one station.
    std::vector<CatalogueRow> RowsOf(const std::string& station) {
        std::vector<CatalogueRow> rows;
        for (CatalogueRow& row : Rows()) {
            if (row.sta == station) rows.push_back(row);
        }
        return rows;
    }
};

// A series is cut into chunks of 5000 starting at offset / rate + start; each chunk flushes the
// one before, and the last stays buffered until FlushAll.
TEST_P(BufferingTest, SeriesGoesInChunksOf5000AndTheLastWaitsForFlushAll) {
    struct Case {
        const char* station;
        int32_t count;
        double catalogued;   // seconds in the catalogue before FlushAll (0: no row)
        int32_t buffered;    // samples left in the buffer
        double bufferStart;  // seconds after the series start
    };
    const Case cases[] = {
        {"C5000", 5000, 0, 5000, 0},
        {"C5001", 5001, 50, 1, 50},
        {"C10200", 10200, 100, 200, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        const std::vector<float> samples = Ramp(c.count);
        auto writer = NewWriter();
        writer->WriteSamples(c.station, "BHZ", 100, kFeb1st2003At071500_25, c.count,
                             samples.data());

        const std::string cpath = std::string(c.station) + "\\07\\01022003-071500-BHZ." + c.station;
        const std::vector<CatalogueRow> before = RowsOf(c.station);
        if (c.catalogued == 0) {
            EXPECT_EQ(before, std::vector<CatalogueRow>{});
        } else {
            EXPECT_EQ(before,
                      (std::vector<CatalogueRow>{SegmentRow(
                          c.station, "BHZ", cpath, 100, kFeb1st2003At071500_25, c.catalogued)}));
        }
        const CSegmentBuffer& buffer = Buffer(*writer);
        EXPECT_EQ(buffer.m_sampleCount, c.buffered);
        EXPECT_EQ(buffer.m_bufferStart, kFeb1st2003At071500_25 + c.bufferStart);
        EXPECT_EQ(buffer.m_bufferDuration, c.buffered / 100.0);

        writer->FlushAll();
        EXPECT_EQ(buffer.m_sampleCount, 0);
        EXPECT_EQ(buffer.m_bufferStart, 0);
        EXPECT_EQ(buffer.m_bufferDuration, 0);
        EXPECT_EQ(RowsOf(c.station),
                  (std::vector<CatalogueRow>{SegmentRow(c.station, "BHZ", cpath, 100,
                                                        kFeb1st2003At071500_25, c.count / 100.0)}));
        EXPECT_EQ(FileBytes(cpath).substr(512), LittleEndianBytes(samples));
    }
}

// A buffer takes contiguous chunks while it holds at most 4900 samples in all.
TEST_P(BufferingTest, BufferHoldsAtMost4900SamplesOfJoinedChunks) {
    struct Case {
        const char* station;
        int32_t second;  // samples of the contiguous chunk after 100 buffered ones
        bool flushed;
    };
    const Case cases[] = {{"FITS", 4800, false}, {"SPILLS", 4801, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        const std::vector<float> samples = Ramp(100 + c.second);
        auto writer = NewWriter();
        writer->WriteSamples(c.station, "BHZ", 100, kFeb1st2003At071500_25, 100, samples.data());
        writer->WriteSamples(c.station, "BHZ", 100, kFeb1st2003At071500_25 + 1, c.second,
                             samples.data() + 100);

        const CSegmentBuffer& buffer = Buffer(*writer);
        if (c.flushed) {
            EXPECT_EQ(RowsOf(c.station).size(), 1u);
            EXPECT_EQ(buffer.m_sampleCount, c.second);
            EXPECT_EQ(buffer.m_bufferStart, kFeb1st2003At071500_25 + 1);
        } else {
            EXPECT_EQ(RowsOf(c.station).size(), 0u);
            EXPECT_EQ(buffer.m_sampleCount, 4900);
            EXPECT_EQ(buffer.m_bufferStart, kFeb1st2003At071500_25);
        }
        writer->FlushAll();
        const std::string cpath = std::string(c.station) + "\\07\\01022003-071500-BHZ." + c.station;
        EXPECT_EQ(FileBytes(cpath).substr(512), LittleEndianBytes(samples));
    }
}

// A chunk continues the buffer when it starts within one period of the buffer's end, on either
// side; slightly more than one period away, the buffer is flushed first.
TEST_P(BufferingTest, ChunkWithinOnePeriodOfTheBufferEndJoinsIt) {
    constexpr double kPeriod = 1.0 / 128;  // exact, as are all times below
    struct Case {
        const char* station;
        double offset;  // chunk start after the buffer's end
        bool joins;
    };
    const Case cases[] = {
        {"AFTER", kPeriod, true},
        {"BEFORE", -kPeriod, true},
        {"GAP", kPeriod + 1.0 / 1024, false},
        {"OVERLAP", -kPeriod - 1.0 / 1024, false},
        {"LATE", 1.25 * kPeriod, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.station);
        const std::vector<float> samples = Ramp(138);
        auto writer = NewWriter();
        writer->WriteSamples(c.station, "BHZ", 128, kFeb1st2003At071500_25, 128, samples.data());
        const double start = kFeb1st2003At071500_25 + 1 + c.offset;
        writer->WriteSamples(c.station, "BHZ", 128, start, 10, samples.data() + 128);

        const CSegmentBuffer& buffer = Buffer(*writer);
        if (c.joins) {
            EXPECT_EQ(RowsOf(c.station).size(), 0u);
            EXPECT_EQ(buffer.m_sampleCount, 138);
            EXPECT_EQ(buffer.m_bufferStart, kFeb1st2003At071500_25);
            EXPECT_EQ(buffer.m_bufferDuration, 138 * kPeriod);
        } else {
            EXPECT_EQ(RowsOf(c.station).size(), 1u);
            EXPECT_EQ(buffer.m_sampleCount, 10);
            EXPECT_EQ(buffer.m_bufferStart, start);
        }
    }
}

// At one sample per second or fewer every chunk flushes the buffer, contiguous or not.
TEST_P(BufferingTest, RateOfOneOrLessFlushesBeforeEveryChunk) {
    for (double rate : {1.0, 0.5}) {
        SCOPED_TRACE(rate);
        const std::string station = rate == 1.0 ? "ONE" : "HALF";
        const std::vector<float> samples = Ramp(20);
        auto writer = NewWriter();
        writer->WriteSamples(station.c_str(), "LHZ", rate, kFeb1st2003At071500_25, 10,
                             samples.data());
        writer->WriteSamples(station.c_str(), "LHZ", rate, kFeb1st2003At071500_25 + 10 / rate, 10,
                             samples.data() + 10);
        EXPECT_EQ(RowsOf(station).size(), 1u);
        EXPECT_EQ(Buffer(*writer).m_sampleCount, 10);
    }
}

// A channel keeps the rate it was first seen with, whatever letter case its name comes in;
// later chunks are timed with their own rate. (128 and 64 samples per second keep every time
// exact.)
TEST_P(BufferingTest, ChannelKeepsItsFirstRate) {
    const std::vector<float> samples = Ramp(138);
    auto writer = NewWriter();
    writer->WriteSamples("ABC", "BHZ", 128, kFeb1st2003At071500_25, 128, samples.data());
    // One period at 64 samples per second after the end: two periods at 128.
    writer->WriteSamples("ABC", "bhz", 64, kFeb1st2003At071500_25 + 1 + 1.0 / 64, 10,
                         samples.data() + 128);

    ASSERT_EQ(writer->m_stations[0]->m_channels.size(), 1u);
    const CSegmentBuffer& buffer = Buffer(*writer);
    EXPECT_EQ(buffer.m_sampleRate, 128);
    EXPECT_EQ(buffer.m_strChannel, "BHZ");
    EXPECT_EQ(buffer.m_sampleCount, 138);
    EXPECT_EQ(buffer.m_bufferDuration, 1 + 10.0 / 64);
    EXPECT_EQ(RowsOf("ABC").size(), 0u);
}

// Series that hand over nothing, or nothing with a time, create no station and no file.
TEST_P(BufferingTest, SeriesWithoutSamplesOrUsableTimeCreateNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        double rate;
        double start;
        int32_t count;
        bool reported;
    };
    const Case cases[] = {
        {"no samples", 100, kFeb1st2003At071500_25, 0, false},
        {"negative count", 100, kFeb1st2003At071500_25, -5, false},
        {"rate 0", 0, kFeb1st2003At071500_25, 10, true},
        {"negative rate", -100, kFeb1st2003At071500_25, 10, true},
        {"rate not a number", nan, kFeb1st2003At071500_25, 10, true},
        {"infinite rate", infinity, kFeb1st2003At071500_25, 10, true},
        {"start not a number", 100, nan, 10, true},
    };
    const std::vector<float> samples = Ramp(10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.clear();
        auto writer = NewWriter();
        writer->WriteSamples("ABC", "BHZ", c.rate, c.start, c.count, samples.data());
        writer->FlushAll();
        EXPECT_TRUE(writer->m_stations.empty());
        EXPECT_EQ(messages_.size(), c.reported ? 1u : 0u);
        if (c.reported && !messages_.empty()) {
            EXPECT_EQ(messages_[0].rfind("ERROR: ", 0), 0u) << messages_[0];
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(Root()));
    EXPECT_EQ(Rows(), std::vector<CatalogueRow>{});
}

// A new channel's first chunk never joins the empty buffer, even within one period of the
// epoch, so the segment starts where its first sample is.
TEST_P(BufferingTest, FirstChunkStartsTheBufferAlsoNextToTheEpoch) {
    const std::vector<float> samples = Ramp(10);
    auto writer = NewWriter();
    writer->WriteSamples("ABC", "BHZ", 4, 0.125, 10, samples.data());
    EXPECT_EQ(Buffer(*writer).m_bufferStart, 0.125);
    writer->FlushAll();
    EXPECT_EQ(Rows(), (std::vector<CatalogueRow>{SegmentRow(
                          "ABC", "BHZ", "ABC\\00\\01011970-000000-BHZ.ABC", 4, 0.125, 2.5)}));
}

// FlushAll writes every buffer of every station, in order.
TEST_P(BufferingTest, FlushAllWritesEveryBufferOfEveryStation) {
    const std::vector<float> samples = Ramp(10);
    auto writer = NewWriter();
    for (const char* station : {"ONE", "TWO"}) {
        for (const char* channel : {"BHZ", "BHN"}) {
            writer->WriteSamples(station, channel, 100, kFeb1st2003At071500_25, 10, samples.data());
        }
    }
    EXPECT_EQ(Rows().size(), 0u);
    writer->FlushAll();
    EXPECT_EQ(SegmentFiles(),
              (std::vector<std::string>{
                  "ONE\\07\\01022003-071500-BHN.ONE", "ONE\\07\\01022003-071500-BHZ.ONE",
                  "TWO\\07\\01022003-071500-BHN.TWO", "TWO\\07\\01022003-071500-BHZ.TWO"}));
    EXPECT_EQ(Rows().size(), 4u);
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(BufferingTest);

}  // namespace
}  // namespace archive_test
