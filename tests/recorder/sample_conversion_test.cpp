#include "recorder/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/process_objects.h"
#include "recorder/header_reader.h"
#include "tests/recorder/recording_fixture.h"

namespace {

using recwriter::RecordingSpec;

struct Series {
    std::string sta, ch;
    double rate, start;
    int32_t count;
    std::vector<float> samples;
};

class SampleConversionTest : public RecordingTest {
  protected:
    SampleConversionTest() { std::snprintf(StationName, sizeof StationName, "%s", "KRV"); }

    // Writes the recording, reads its header and converts it; returns the status.
    int Convert(const RecordingSpec& spec, int32_t maxPerCall = kMaxSamplesPerCall) {
        if (WriteAndRead(spec) != 0) {
            ADD_FAILURE() << "header not read";
            return 1;
        }
        console_.clear();
        return ConvertNow(maxPerCall);
    }
    int ConvertNow(int32_t maxPerCall = kMaxSamplesPerCall) {
        return ConvertSamplesTo(sink_, fd_.Get(), header_, maxPerCall);
    }

    std::vector<Series> received_;
    SeriesSink sink_ = [this](const char* sta, const char* ch, double rate, double start,
                              int32_t count, const float* samples) {
        received_.push_back(
            {sta, ch, rate, start, count, std::vector<float>(samples, samples + count)});
    };
};

// A recording whose samples are given frame by frame.
RecordingSpec Frames(std::vector<std::vector<int64_t>> frames, int bits = 16) {
    RecordingSpec spec;
    spec.bits = bits;
    spec.channels.clear();
    for (size_t c = 0; c < frames.at(0).size(); ++c)
        spec.channels.push_back({"CH" + std::to_string(c)});
    spec.frames = static_cast<int64_t>(frames.size());
    spec.samples = [frames](int64_t frame, int channel) { return frames[frame][channel]; };
    return spec;
}

TEST_F(SampleConversionTest, HandsEachChannelItsColumnOfTheFrames) {
    RecordingSpec spec = Frames({{1, -2}, {3, 4}});
    ASSERT_EQ(Convert(spec), 0);
    EXPECT_EQ(console_, "");
    ASSERT_EQ(received_.size(), 2u);
    const double start = gRecordingInfo.startTime;
    EXPECT_EQ(start, 1044057600.0);
    for (const Series& s : received_) {
        EXPECT_EQ(s.sta, "KRV");
        EXPECT_EQ(s.rate, 100.0);
        EXPECT_EQ(s.start, start);
        EXPECT_EQ(s.count, 2);
    }
    EXPECT_EQ(received_[0].ch, "CH0");
    EXPECT_EQ(received_[0].samples, (std::vector<float>{1, 3}));
    EXPECT_EQ(received_[1].ch, "CH1");
    EXPECT_EQ(received_[1].samples, (std::vector<float>{-2, 4}));
}

TEST_F(SampleConversionTest, ConvertsBothWidthsToFloat) {
    const struct {
        const char* label;
        int bits;
        int64_t sample;
        float expected;
    } cases[] = {
        {"16-bit minimum is exact", 16, -32768, -32768.0f},
        {"16-bit maximum is exact", 16, 32767, 32767.0f},
        {"2^24 + 1 rounds to 2^24", 32, (1 << 24) + 1, 16777216.0f},
        {"2^24 + 3 rounds to even, upward", 32, (1 << 24) + 3, 16777220.0f},
        {"32-bit minimum is exact", 32, -2147483648LL, -2147483648.0f},
        {"32-bit maximum rounds to 2^31", 32, 2147483647, 2147483648.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        received_.clear();
        ASSERT_EQ(Convert(Frames({{0, c.sample}, {c.sample, 0}}, c.bits)), 0);
        ASSERT_EQ(received_.size(), 2u);
        EXPECT_EQ(received_[1].samples, (std::vector<float>{c.expected, 0}));
        EXPECT_EQ(received_[0].samples, (std::vector<float>{0, c.expected}));
    }
}

TEST_F(SampleConversionTest, NoFramesGivesEveryChannelAnEmptySeries) {
    RecordingSpec spec;
    spec.frames = 0;
    ASSERT_EQ(Convert(spec), 0);
    ASSERT_EQ(received_.size(), 3u);
    for (const Series& s : received_) EXPECT_EQ(s.count, 0);
}

TEST_F(SampleConversionTest, RefusesAFileThatIsNotWholeFrames) {
    for (int64_t extra : {1, 2, 5}) {
        SCOPED_TRACE(extra);
        RecordingSpec spec;
        spec.extraBytes = extra;  // 6-byte frames: none of these completes one
        EXPECT_EQ(Convert(spec), -5);
        EXPECT_EQ(console_, "ERROR: Wrong file size!!!\n");
        EXPECT_TRUE(received_.empty());
    }
}

TEST_F(SampleConversionTest, ReportsABlockThatCannotBeReadWhole) {
    RecordingSpec spec;
    spec.frames = 100;
    ASSERT_EQ(WriteAndRead(spec), 0);
    console_.clear();
    Resize(120 + 216 + 599);  // the file shrinks after its length was taken
    EXPECT_EQ(ConvertNow(), -5);
    EXPECT_EQ(console_, "ERROR: Can't read 600 bytes from input file!!!\n");
    EXPECT_TRUE(received_.empty());
}

TEST_F(SampleConversionTest, ArchiveRateIsTheWholePartOfTheRate) {
    const struct {
        double interval;
        double rate;
    } cases[] = {{0.01, 100}, {0.3, 3}, {1.0, 1}, {1.0 / 99, 98}, {0.5, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        received_.clear();
        RecordingSpec spec;
        spec.sampleInterval = c.interval;
        ASSERT_EQ(Convert(spec), 0);
        ASSERT_EQ(received_.size(), 3u);
        EXPECT_EQ(received_[0].rate, c.rate);
    }
}

TEST_F(SampleConversionTest, RefusesRatesOutsideOneTo2Pow31BeforeReading) {
    const double cases[] = {2.0, 1.0000001, 0.0, -0.0, -0.01, 1e-10, 4.6566128730773926e-10};
    for (double interval : cases) {
        SCOPED_TRACE(interval);
        RecordingSpec spec;
        spec.sampleInterval = interval;
        spec.extraBytes = 1;  // a wrong size too: the rate is reported, not the size
        EXPECT_EQ(Convert(spec), -5);
        EXPECT_EQ(console_, "ERROR: Wrong sample rate!!!\n");
        EXPECT_TRUE(received_.empty());
    }
}

TEST_F(SampleConversionTest, RefusesARateThatIsNotANumber) {
    // The header reader refuses a NaN interval; the conversion must not rely on that.
    ASSERT_EQ(WriteAndRead(RecordingSpec()), 0);
    console_.clear();
    gRecordingInfo.sps = NAN;
    EXPECT_EQ(ConvertNow(), -5);
    EXPECT_EQ(console_, "ERROR: Wrong sample rate!!!\n");
    EXPECT_TRUE(received_.empty());
}

TEST_F(SampleConversionTest, HandsALongSeriesOverInPiecesThatContinueEachOther) {
    RecordingSpec spec;
    spec.channels = {{"BHZ"}};
    spec.frames = 10;
    spec.samples = [](int64_t frame, int) { return frame * 10; };
    ASSERT_EQ(Convert(spec, 4), 0);
    ASSERT_EQ(received_.size(), 3u);
    const double start = gRecordingInfo.startTime;
    const int32_t counts[] = {4, 4, 2};
    const double starts[] = {start, 4 / 100.0 + start, 8 / 100.0 + start};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(received_[i].count, counts[i]);
        EXPECT_EQ(received_[i].start, starts[i]);
        EXPECT_EQ(received_[i].samples.front(), static_cast<float>(i * 40));
    }
}

TEST_F(SampleConversionTest, SkipsInactiveChannels) {
    ASSERT_EQ(WriteAndRead(Frames({{1, 2, 3}})), 0);
    gChannelTable[1].active = 0;
    ASSERT_EQ(ConvertNow(), 0);
    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[0].samples, std::vector<float>{1});
    EXPECT_EQ(received_[1].ch, "CH2");
    EXPECT_EQ(received_[1].samples, std::vector<float>{3});
}

}  // namespace
