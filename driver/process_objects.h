#pragma once
// The process-wide objects shared by the stages of a run (defined in process_objects.cpp in
// their order of construction; destroyed in reverse order at exit).

#include "platform/database.h"
#include "recorder/recording.h"

// Longest station name used, in characters; longer names are cut.
inline constexpr int kStationNameMax = 31;

extern CDatabase CatalogueDatabase;      // the catalogue connection
extern ChannelTable gChannelTable;       // channels of the recording being filed
extern RecordingHeader gRecordingHeader; // the recorder file's header
extern RecordingInfo gRecordingInfo;     // values derived from it
extern char StationName[kStationNameMax + 1];  // second argument, cut to 31 characters
