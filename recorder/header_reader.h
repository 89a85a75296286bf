#pragma once
// The header reader: fills the header, the derived recording values and the channel table
// from an open recorder file, and prints the recording summary.

#include "recorder/recording.h"

// Start time (EpochSeconds) of the first sample: midnight of the header's date plus
// firstSampleTime, added in double precision. A year below 1900 is first rewritten in the
// header as year + 2000, so a second call gives the same value. NaN when the month lies
// outside 0 to 12. Prints nothing.
double RecordingStartTime(RecordingHeader& header);

// Reads the 120-byte header and the channel descriptors from `fd`, positioned at the file's
// first byte. Returns 0 when the header is sound and all descriptors were read: `header`,
// gRecordingInfo and gChannelTable (replaced) are filled, the summary and channel list have
// been printed, and the file is positioned at the sample block. Returns 1, printing nothing,
// when the header is cut short (`header` untouched), when it is unsound (nch 0 or below,
// month outside 0 to 12, sampleInterval or firstSampleTime not finite, start outside the
// years 1 to 9999), when the file's length cannot be taken, or when a descriptor is cut
// short (the entries read so far stay in gChannelTable).
int ReadRecordingHeader(int fd, RecordingHeader& header);
