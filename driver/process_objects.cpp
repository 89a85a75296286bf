#include "driver/process_objects.h"

// Order matters: the catalogue connection is constructed first and so destroyed last, after
// the channel table.
CDatabase CatalogueDatabase;
ChannelTable gChannelTable;
RecordingHeader gRecordingHeader;
RecordingInfo gRecordingInfo;
char StationName[kStationNameMax + 1];
