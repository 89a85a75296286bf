#include "archive/archive_writer.h"

#include <strings.h>

#include "catalogue/file_list.h"

CArchiveWriter::CArchiveWriter(CDatabase* database, const char* creatorName)
    : m_strCreator(creatorName), m_pDatabase(database), m_knownTotals(m_strCreator) {}

// The vectors of owning pointers delete stations, and each station its buffers, first to last.
CArchiveWriter::~CArchiveWriter() {
    for (auto& station : m_stations) {
        for (auto& buffer : station->m_channels) buffer.reset();
        station.reset();
    }
}

void CArchiveWriter::SetDataRoot(const char* path) { m_strDataRoot = path; }

int CArchiveWriter::AddStation(const char* name, int32_t maxMinutes, int32_t limitMB) {
    for (size_t i = 0; i < m_stations.size(); ++i) {
        if (m_stations[i]->m_strName == name) return static_cast<int>(i);
    }
    auto station = std::make_unique<CStationEntry>();
    station->m_strName = name;
    station->m_maxMinutes = maxMinutes;
    // Megabytes to bytes in 64 bits, so that every configurable size is represented; a
    // negative setting means the station has no limit.
    station->m_storageLimit = limitMB < 0 ? -1 : static_cast<int64_t>(limitMB) << 20;
    m_stations.push_back(std::move(station));
    return static_cast<int>(m_stations.size() - 1);
}

int CArchiveWriter::FindOrAddStation(const char* name) { return AddStation(name, 60, 100); }

int CArchiveWriter::FindOrAddChannel(int station, const char* channel, double sampleRate) {
    auto& channels = m_stations[static_cast<size_t>(station)]->m_channels;
    for (size_t i = 0; i < channels.size(); ++i) {
        if (strcasecmp(channels[i]->m_strChannel.c_str(), channel) == 0) return static_cast<int>(i);
    }
    channels.push_back(std::make_unique<CSegmentBuffer>(channel, sampleRate));
    return static_cast<int>(channels.size() - 1);
}
