#include "tests/recorder/recording_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "driver/process_objects.h"
#include "platform/console.h"
#include "recorder/header_reader.h"

RecordingTest::RecordingTest() : path_(dir_.File("recording.dat")) {
    SetConsoleSink([this](std::string_view message) {
        console_ += message;
        return 0;
    });
    gChannelTable.Clear();
    gRecordingInfo = RecordingInfo();
}

RecordingTest::~RecordingTest() {
    SetConsoleSink(nullptr);
}

void RecordingTest::Write(const recwriter::RecordingSpec& spec) {
    const std::string failure = recwriter::WriteRecording(path_, spec);
    ASSERT_EQ(failure, "");
    Open();
}

void RecordingTest::Resize(long long length) {
    ASSERT_EQ(truncate(path_.c_str(), length), 0);
}

void RecordingTest::Open() {
    fd_ = platform::UniqueFd(platform::OpenFile(path_.c_str(), O_RDONLY));
    ASSERT_TRUE(fd_.Valid());
}

int RecordingTest::WriteAndRead(const recwriter::RecordingSpec& spec) {
    Write(spec);
    if (HasFatalFailure()) return -1;
    return ReadRecordingHeader(fd_.Get(), header_);
}
