#include "tools/recording_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/process_objects.h"
#include "recorder/recorder_format.h"
#include "recorder/sample_conversion.h"
#include "tests/recorder/recording_fixture.h"
#include "tests/support/run_program.h"

namespace {

using recwriter::RecordingSpec;
using testsupport::BuiltProgram;
using testsupport::ProgramRun;
using testsupport::ReadFileBytes;
using testsupport::RunProgram;

using RecordingWriterTest = RecordingTest;

// Two 32-bit channels, long enough that the sample block is written in several pieces.
RecordingSpec LongSpec() {
    RecordingSpec spec;
    spec.station = "KRV";
    spec.channels = {{"SHZ", 0.25, 2}, {"SHN", 0, 0}};
    spec.bits = 32;
    spec.sampleInterval = 0.002;
    spec.year = 2003;
    spec.month = 2;
    spec.day = 1;
    spec.timeOfDay = 7 * 3600 + 15 * 60 + 0.25;
    spec.frames = 150000;  // 1.2 MB of samples
    spec.waveform = {50000, 3, 2000, 42};
    return spec;
}

TEST_F(RecordingWriterTest, WritesAFileTheReaderAndConverterTakeBackWhole) {
    const RecordingSpec spec = LongSpec();
    ASSERT_EQ(WriteAndRead(spec), 0);
    EXPECT_EQ(gRecordingInfo.fileLength, recwriter::FileLength(spec));
    EXPECT_EQ(gRecordingInfo.fileLength, 120 + 144 + 150000 * 8);
    EXPECT_EQ(gRecordingInfo.stationText, "KRV");
    EXPECT_EQ(gRecordingInfo.startTime, 1044083700.25);
    EXPECT_EQ(gRecordingInfo.nsamp, 150000);
    EXPECT_EQ(gRecordingInfo.sampleBytes, 4);
    ASSERT_EQ(gChannelTable.Size(), 2u);
    EXPECT_EQ(gChannelTable[0].name, "SHZ");
    EXPECT_EQ(gChannelTable[0].calib, 250.0);
    EXPECT_EQ(gChannelTable[0].calper, 0.5);
    EXPECT_EQ(gChannelTable[1].calib, 1.0);

    std::vector<std::vector<float>> channels;
    ASSERT_EQ(ConvertSamplesTo([&channels](const char*, const char*, double, double, int32_t count,
                                           const float* s) { channels.emplace_back(s, s + count); },
                               fd_.Get(), header_),
              0);
    ASSERT_EQ(channels.size(), 2u);
    int64_t mismatches = 0;
    double peak = 0;
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(channels[c].size(), 150000u);
        for (int64_t f = 0; f < spec.frames; ++f) {
            const int64_t value = recwriter::SampleValue(spec, f, c);
            mismatches += channels[c][f] != static_cast<float>(value);
            peak = std::max(peak, std::fabs(static_cast<double>(value)));
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_LE(peak, 52000);
    EXPECT_GT(peak, 48000) << "the sine reaches its amplitude";
}

TEST_F(RecordingWriterTest, SameDescriptionGivesTheSameBytesAndTheSeedChangesTheNoise) {
    RecordingSpec spec;
    spec.frames = 1000;
    ASSERT_EQ(recwriter::WriteRecording(dir_.File("a"), spec), "");
    ASSERT_EQ(recwriter::WriteRecording(dir_.File("b"), spec), "");
    spec.waveform.seed = 2;
    ASSERT_EQ(recwriter::WriteRecording(dir_.File("c"), spec), "");
    const std::string a = ReadFileBytes(dir_.File("a"));
    EXPECT_EQ(a.size(), 120u + 216 + 6000);
    EXPECT_EQ(a, ReadFileBytes(dir_.File("b")));
    EXPECT_NE(a, ReadFileBytes(dir_.File("c")));
}

TEST_F(RecordingWriterTest, SamplesAreClampedToTheSampleWidth) {
    RecordingSpec spec;
    spec.samples = [](int64_t frame, int) { return frame == 0 ? 100000 : -100000; };
    EXPECT_EQ(recwriter::SampleValue(spec, 0, 0), 32767);
    EXPECT_EQ(recwriter::SampleValue(spec, 1, 0), -32768);
    spec.bits = 32;
    spec.samples = [](int64_t frame, int) { return frame == 0 ? (1LL << 40) : -(1LL << 40); };
    EXPECT_EQ(recwriter::SampleValue(spec, 0, 0), 2147483647);
    EXPECT_EQ(recwriter::SampleValue(spec, 1, 0), -2147483648LL);
}

TEST_F(RecordingWriterTest, ProgramWritesWhatTheLibraryWrites) {
    const std::string out = dir_.File("program.dat");
    const testsupport::ProgramResult run = RunProgram(ProgramRun{
        BuiltProgram("make-recording"),
        {"--out",       out,           "--station",   "ABC",  "--channels", "BHZ,BHN,BHE",
         "--bits",      "32",          "--interval",  "0.01", "--date",     "2003-02-01",
         "--time",      "07:15:00.25", "--seconds",   "120",  "--seed",     "7",
         "--amplitude", "1000",        "--frequency", "2",    "--noise",    "50",
         "--calib",     "0.5,1,2",     "--calfreq",   "1",    "--adc",      "6"},
        "",
        {}});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    RecordingSpec spec;
    spec.station = "ABC";
    spec.channels = {{"BHZ", 0.5, 1}, {"BHN", 1, 1}, {"BHE", 2, 1}};
    spec.bits = 32;
    spec.sampleInterval = 0.01;
    spec.timeOfDay = 7 * 3600 + 15 * 60 + 0.25;
    spec.frames = 12000;
    spec.waveform = {1000, 2, 50, 7};
    spec.adcVersion = 6;
    ASSERT_EQ(recwriter::WriteRecording(dir_.File("library.dat"), spec), "");
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(dir_.File("library.dat")));
}

TEST_F(RecordingWriterTest, ProgramBreaksTheFieldsItIsToldTo) {
    const std::string out = dir_.File("broken.dat");
    const testsupport::ProgramResult run =
        RunProgram(ProgramRun{BuiltProgram("make-recording"),
                              {"--out", out, "--frames", "10", "--set", "month=13", "--set",
                               "interval=nan", "--extra-bytes", "1"},
                              "",
                              {}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 120u + 216 + 60 + 1);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(GetLE16(p + kHeaderMonth), 13);
    EXPECT_TRUE(std::isnan(GetLEDouble(p + kHeaderSampleInterval)));
}

TEST_F(RecordingWriterTest, ProgramExplainsItsOptions) {
    const testsupport::ProgramResult help =
        RunProgram(ProgramRun{BuiltProgram("make-recording"), {"--help"}, "", {}});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--out", "--station", "--channels", "--bits", "--interval", "--date",
                               "--time", "--seconds", "--frames", "--seed", "--amplitude",
                               "--calib", "--calfreq", "--adc", "--set", "--extra-bytes"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const testsupport::ProgramResult wrong = RunProgram(ProgramRun{
        BuiltProgram("make-recording"), {"--out", dir_.File("x"), "--bits", "24"}, "", {}});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--bits"), std::string::npos) << wrong.err;
}

}  // namespace
