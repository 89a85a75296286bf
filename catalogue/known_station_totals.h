#pragma once
// The stored totals of stations as a writer knows them between queries: read from the
// catalogue once, then kept in step with the rows the writer itself changes, so that the
// storage check of a flush need not sum a station's rows again.
//
// A total is forgotten whenever the writer cannot tell exactly what a change did to it (a
// failed statement, a delete by path); the next check then reads it from the catalogue.

#include <map>
#include <optional>
#include <string>
#include <utility>

// What one catalogue row adds to its station's total, as the catalogue's sum computes it.
struct RowContribution {
    std::string creator;  // CREATER
    std::string station;  // STA
    double sps = 0;
    double tqty = 0;
};

class KnownStationTotals {
  public:
    explicit KnownStationTotals(std::string creator) : creator_(std::move(creator)) {}

    // The known sum of SPS*TQTY*4+512 over this creator's rows of `station`, if any.
    std::optional<double> Get(const std::string& station) const;
    // Remembers a total just read from the catalogue.
    void Set(const std::string& station, double total);
    // A row changed from `before` to `after` (either may be missing: a row added or deleted).
    void Replace(const RowContribution* before, const RowContribution* after);
    void Forget(const std::string& station);
    void ForgetAll();

  private:
    // Adds `sign` times the row's share to a known total; forgets the total instead when the
    // share is not a finite number, or when the values may have been read from NULLs.
    void Apply(const RowContribution& row, double sign);

    std::string creator_;
    std::map<std::string, double> totals_;
};
