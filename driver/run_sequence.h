#pragma once
// One run: files the recorder file argv[1] for the station argv[2] and returns the status
// (0 success; -1 usage; -2 start-up failed; -3 database not opened; -4 recorder file not
// opened; -5 header cut short, wrong file size, wrong sample rate or short read; -6 station not
// in the recording).

inline constexpr const char* kProgramName = "Korvane_c";
inline constexpr const char* kProgramVersion = "v1.1";

int RunConversion(int argc, char** argv);
