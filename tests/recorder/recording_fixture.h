#pragma once
// A fixture for the recorder tests: writes a recording from a description into a temporary
// folder, opens it, and collects what the code under test prints on the console.

#include <gtest/gtest.h>

#include <string>

#include "platform/file_io.h"
#include "recorder/recording.h"
#include "tests/support/temp_dir.h"
#include "tools/recording_writer.h"

class RecordingTest : public testing::Test {
  protected:
    RecordingTest();
    ~RecordingTest() override;

    // Writes `spec` as the recording and opens it for reading; fails the test if it cannot.
    void Write(const recwriter::RecordingSpec& spec);
    // Cuts or extends the written recording to `length` bytes.
    void Resize(long long length);
    // Opens the written recording afresh (closing the previous descriptor).
    void Open();
    // Writes, opens and reads the header into `header_`; returns ReadRecordingHeader's result.
    int WriteAndRead(const recwriter::RecordingSpec& spec);

    testsupport::TempDir dir_;
    std::string path_;
    platform::UniqueFd fd_;
    RecordingHeader header_;
    std::string console_;  // every console message since the test began, line feeds included
};
