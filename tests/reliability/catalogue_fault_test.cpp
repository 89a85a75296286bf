// Catalogue faults short of a lost server (see server_loss_test.cpp): a missing table, a
// connection that cannot be made, and single statements that fail where a failure could
// otherwise leave a row without its samples.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "platform/console.h"
#include "platform/statement_hook.h"
#include "tests/driver/program_runner.h"
#include "tests/reliability/reliability_support.h"

namespace reliability {
namespace {

using testsupport::CatalogueRow;
using testsupport::KorvaneFolder;

class CatalogueFaults : public testsupport::CatalogueTest {
  protected:
    void TearDown() override {
        platform::SetStatementHook(nullptr);
        SetConsoleSink(nullptr);
        CatalogueTest::TearDown();
    }
};

// Without FILELIST every record-set operation prints the driver's text, the statement
// operations fail quietly, the files are written, and the run ends as it would otherwise.
TEST_P(CatalogueFaults, MissingTableEachOperationPrintsItsErrorAndTheRunEnds) {
    KorvaneFolder folder;
    folder.Configure(Catalogue(), folder.Archive());
    std::filesystem::create_directory(folder.Archive());
    recwriter::RecordingSpec spec;
    spec.station = "ABC";
    folder.Recording("rec.dat", spec);
    Catalogue().Execute("DROP TABLE FILELIST");

    testsupport::ProgramResult result = folder.Run({"rec.dat", "ABC"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    // Each of the three channels is flushed once, after "Done!": the look-up for an appendable
    // segment and the new row each print the driver's text (ending in a line feed), then a
    // line feed of their own and the console's.
    const std::string done = "Convert data...\nDone!\n\n";
    const size_t at = result.out.find(done);
    ASSERT_NE(at, std::string::npos) << result.out;
    std::vector<std::string> errors;
    std::string rest = result.out.substr(at + done.size());
    for (size_t end; (end = rest.find("\n\n\n")) != std::string::npos; rest = rest.substr(end + 3))
        errors.push_back(rest.substr(0, end));
    EXPECT_EQ(rest, "");
    ASSERT_EQ(errors.size(), 6u) << result.out;
    for (const std::string& error : errors) {
        std::string lower = error;
        for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(lower.find("filelist"), std::string::npos) << error;
    }
    EXPECT_EQ(result.out.find(Catalogue().Pwd()), std::string::npos);
    // The three segment files are on disk, beside the station's lock file.
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Archive()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 4);
}

// A quota whose row deletes fail deletes no file: the rows keep claiming what is on disk.
TEST_P(CatalogueFaults, QuotaKeepsTheFilesOfRowsThatCannotBeDeleted) {
    testsupport::TempDir root;
    const std::vector<std::string> paths = {"ABC\\00\\one.ABC", "ABC\\00\\two.ABC"};
    for (size_t n = 0; n < paths.size(); ++n) {
        Catalogue().Insert(
            {"ABC", 100, 1, paths[n], 3, "BHZ", "Korvane_c", "", 1000.0 * (n + 1), 10, 512});
        std::filesystem::create_directories(root.File("ABC/00"));
        root.Write("ABC/00/" + paths[n].substr(7), std::string(512 + 4000, 'x'));
    }
    platform::SetStatementHook([](const char* sql) {
        return std::string(sql).starts_with("delete from FILELIST") ? 1 : 0;
    });
    std::string printed;
    SetConsoleSink([&printed](std::string_view message) {
        printed += message;
        return 0;
    });
    CArchiveWriter writer(&database_, "Korvane_c");
    writer.SetDataRoot(root.Path().c_str());
    writer.EnforceStorageLimit("ABC", 0);

    EXPECT_EQ(printed, "");
    EXPECT_EQ(Catalogue().Rows().size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(root.File("ABC/00/one.ABC")));
    EXPECT_TRUE(std::filesystem::exists(root.File("ABC/00/two.ABC")));
}

// Filing a piece again over its own segment file first removes the file's row; when that
// fails the file is left as it is, so that the row still holds.
TEST_P(CatalogueFaults, SegmentFileIsNotReplacedWhileItsRowCannotBeRemoved) {
    testsupport::TempDir root;
    std::vector<std::string> printed;
    SetConsoleSink([&printed](std::string_view message) {
        printed.emplace_back(message);
        return 0;
    });
    CArchiveWriter writer(&database_, "Korvane_c");
    writer.SetDataRoot(root.Path().c_str());
    const double start = 12084 * 86400.0;  // 2003-02-01 00:00:00
    const std::vector<float> first(8, 1.0f), second(8, 2.0f);
    writer.WriteSamples("ABC", "BHZ", 4, start, 8, first.data());
    writer.FlushAll();
    const std::string file = root.File("ABC/00/01022003-000000-BHZ.ABC");
    const std::string bytes = testsupport::ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 512u + 32);
    std::vector<CatalogueRow> rows = Catalogue().Rows();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(printed, std::vector<std::string>{});

    platform::SetStatementHook([](const char* sql) {
        return std::string(sql).starts_with("delete from FILELIST") ? 1 : 0;
    });
    writer.WriteSamples("ABC", "BHZ", 4, start, 8, second.data());
    writer.FlushAll();
    EXPECT_EQ(printed, std::vector<std::string>{"ERROR: catalogue row of segment file '" + file +
                                                "' cannot be removed, file not replaced\n"});
    EXPECT_EQ(testsupport::ReadFileBytes(file), bytes);
    EXPECT_EQ(Catalogue().Rows(), rows);
}

KORVANE_INSTANTIATE_CATALOGUE_TESTS(CatalogueFaults);

// A port on the loopback where nothing listens.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);  // bound but never listening: connections to it are refused
    return port;
}

// A catalogue that cannot be reached at start ends the run with -3 (exit code 253) after the
// driver's text, with the password hidden everywhere.
TEST(CatalogueConnection, RefusedAtStartEndsWithStatus253) {
    KorvaneFolder folder;
    std::filesystem::path odbc = folder.dir.File("odbc");
    std::filesystem::create_directories(odbc);
    folder.dir.Write(
        "odbc/odbcinst.ini",
        "[PostgreSQL ANSI]\nDriver=psqlodbca.so\n[SQLite3]\nDriver=libsqlite3odbc.so\n");
    folder.dir.Write("odbc/odbc.ini",
                     "[REFUSED]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" +
                         std::to_string(ClosedPort()) +
                         "\nDatabase=kro\n"
                         "[NOFOLDER]\nDriver=SQLite3\nDatabase=" +
                         folder.dir.File("missing/catalogue.db") + "\n");
    struct Case {
        const char* dsn;
        const char* driverText;  // what the driver's message begins with
    } const cases[] = {
        {"REFUSED", "connection to server at \"127.0.0.1\""},
        {"NOFOLDER", "connect failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dsn);
        folder.dir.Write("korvane.ini", std::string("[DATABASE]\nODBC=") + c.dsn +
                                            "\nUSER=KRO\nPASSWORD=Sup3rS3cret\n[DATA]\nDIR=/x\n");
        testsupport::ProgramResult result =
            folder.Run({"rec.dat", "ABC"},
                       {{"ODBCSYSINI", odbc.string()}, {"ODBCINI", (odbc / "odbc.ini").string()}});
        EXPECT_EQ(result.exitCode, 253);
        EXPECT_EQ(result.err, "");
        const std::vector<std::string> lines = testsupport::Lines(result.out);
        ASSERT_GE(lines.size(), 5u) << result.out;
        EXPECT_EQ(lines[2],
                  std::string("Connect to DB:DSN=") + c.dsn + ";UID=KRO;PWD=***; DATA=/x...");
        EXPECT_TRUE(lines[3].starts_with(c.driverText)) << result.out;
        EXPECT_EQ(lines.back(),
                  std::string("ERROR: Can't open Database: DSN=") + c.dsn + ";UID=KRO;PWD=***;");
        EXPECT_EQ(result.out.find("Sup3rS3cret"), std::string::npos);
    }
}

}  // namespace
}  // namespace reliability
