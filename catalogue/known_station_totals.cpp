#include "catalogue/known_station_totals.h"

#include <cmath>

std::optional<double> KnownStationTotals::Get(const std::string& station) const {
    auto known = totals_.find(station);
    if (known == totals_.end()) return std::nullopt;
    return known->second;
}

void KnownStationTotals::Set(const std::string& station, double total) {
    totals_[station] = total;
}

void KnownStationTotals::Replace(const RowContribution* before, const RowContribution* after) {
    if (before != nullptr) Apply(*before, -1);
    if (after != nullptr) Apply(*after, +1);
}

void KnownStationTotals::Forget(const std::string& station) { totals_.erase(station); }

void KnownStationTotals::ForgetAll() { totals_.clear(); }

void KnownStationTotals::Apply(const RowContribution& row, double sign) {
    if (row.creator != creator_) return;  // rows of other creators are not counted
    auto known = totals_.find(row.station);
    if (known == totals_.end()) return;
    // Same expression, in the same order, as the catalogue's sum.
    const double share = row.sps * row.tqty * 4 + 512;
    // A record reads NULL as 0, and the sum leaves such a row out rather than count 512; a
    // share that is not finite would stay in the total after its row is gone.
    if (row.sps == 0 || row.tqty == 0 || !std::isfinite(share) || !std::isfinite(known->second)) {
        totals_.erase(known);
        return;
    }
    known->second += sign * share;
}
