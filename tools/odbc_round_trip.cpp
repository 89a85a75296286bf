// odbc-round-trip: what one catalogue statement costs at the least on this machine, the unit
// in which a run pays for its catalogue, timed by the benchmark beside the runs.
//
//   odbc-round-trip CONNECT COUNT [PAUSE_US]
//
// Connects with the ODBC connect string CONNECT as a run does, then runs a one-row query by
// the path index of FILELIST COUNT times through the same prepared-statement layer, reading
// its row each time, and sleeping PAUSE_US microseconds between two (default 0) as a run
// does its file work between statements. Prints the median time of one execution in
// microseconds.

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/database.h"
#include "platform/odbc_handle.h"

int main(int argc, char** argv) {
    if ((argc != 3 && argc != 4) || std::atoi(argv[2]) <= 0) {
        std::fputs("usage: odbc-round-trip CONNECT COUNT [PAUSE_US]\n", stderr);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const auto pause = std::chrono::microseconds(argc == 4 ? std::atoi(argv[3]) : 0);
    CDatabase database;
    try {
        database.OpenEx(argv[1]);
    } catch (const CDBException& error) {
        std::fprintf(stderr, "odbc-round-trip: %s\n", error.m_strError.c_str());
        return 1;
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
        const auto start = std::chrono::steady_clock::now();
        platform::PreparedStatement statement =
            database.Prepare("select count(*) from FILELIST where cpath=?");
        if (!statement || !platform::Succeeded(statement.Execute({std::string("no such path")})) ||
            !platform::Succeeded(SQLFetch(statement.Get()))) {
            std::fputs("odbc-round-trip: the query failed\n", stderr);
            return 1;
        }
        statement = platform::PreparedStatement();  // closes the cursor, as the run does
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(micros.begin(), micros.begin() + count / 2, micros.end());
    std::printf("%.1f\n", micros[static_cast<size_t>(count / 2)]);
    return 0;
}
