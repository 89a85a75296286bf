#include "driver/configuration.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

struct DatabaseCase {
    const char* name;
    const char* primary;   // nullptr: no file
    const char* fallback;  // nullptr: no file
    const char* dsn;
    const char* user;
    const char* password;
    const char* dataRoot;
};

const DatabaseCase kDatabaseCases[] = {
    {"neither file", nullptr, nullptr, "KRO", "KRO", "PLQ", ""},
    {"primary only", "[DATABASE]\nODBC=A\nUSER=u\nPASSWORD=p\n[DATA]\nDIR=/arch\n", nullptr,
     "A", "u", "p", "/arch"},
    {"fallback only", nullptr, "[DATABASE]\nODBC=B\nUSER=v\nPASSWORD=q\n[DATA]\nDIR=/fb\n",
     "B", "v", "q", "/fb"},
    {"primary wins over fallback", "[DATABASE]\nODBC=A\n", "[DATABASE]\nODBC=B\n", "A", "KRO",
     "PLQ", ""},
    {"primary ending with backslash defers to fallback",
     "[DATABASE]\nODBC=A\\\n[DATA]\nDIR=/p\\\n", "[DATABASE]\nODBC=B\n[DATA]\nDIR=/f\n", "B",
     "KRO", "PLQ", "/f"},
    {"both ending with backslash", "[DATABASE]\nODBC=A\\\nUSER=x\\\nPASSWORD=y\\\n[DATA]\nDIR=/p\\\n",
     "[DATABASE]\nODBC=B\\\nUSER=w\\\nPASSWORD=z\\\n[DATA]\nDIR=/f\\\n", "KRO", "KRO", "PLQ", "/f"},
    {"DIR ending with backslash and none in fallback", "[DATA]\nDIR=/p\\\n", nullptr, "KRO",
     "KRO", "PLQ", ""},
    {"empty values count as missing", "[DATABASE]\nODBC=\nUSER=\nPASSWORD=\n[DATA]\nDIR=\n",
     "[DATABASE]\nUSER=fu\n", "KRO", "fu", "PLQ", ""},
    {"values cut to 31, 31, 15, 255 characters",
     "[DATABASE]\nODBC=DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD\nUSER=UUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUUU\n"
     "PASSWORD=12345678901234567890\n",
     nullptr, "DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD", "UUUUUUUUUUUUUUUUUUUUUUUUUUUUUUU",
     "123456789012345", ""},
    {"quotes and blanks", "[database]\n odbc = \" A B \" \nuser='u'\n", nullptr, " A B ", "u",
     "PLQ", ""},
};

TEST(DatabaseSettings, TwoFileRule) {
    for (const DatabaseCase& c : kDatabaseCases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        std::string primary = c.primary ? dir.Write("korvane.ini", c.primary) : dir.File("korvane.ini");
        std::string fallback = c.fallback ? dir.Write("kro.ini", c.fallback) : dir.File("kro.ini");
        DatabaseSettings s = ReadDatabaseSettings(primary, fallback);
        EXPECT_EQ(s.dataSource, c.dsn);
        EXPECT_EQ(s.user, c.user);
        EXPECT_EQ(s.password, c.password);
        EXPECT_EQ(s.dataRoot, c.dataRoot);
        EXPECT_EQ(s.connect, std::string("DSN=") + c.dsn + ";UID=" + c.user + ";PWD=" + c.password + ";");
        EXPECT_EQ(s.shownConnect, std::string("DSN=") + c.dsn + ";UID=" + c.user + ";PWD=***;");
    }
}

TEST(DatabaseSettings, LongDataRootCutTo255) {
    testsupport::TempDir dir;
    std::string root(300, 'r');
    std::string primary = dir.Write("korvane.ini", "[DATA]\nDIR=" + root + "\n");
    EXPECT_EQ(ReadDatabaseSettings(primary, dir.File("none")).dataRoot, root.substr(0, 255));
}

TEST(DatabaseSettings, FallbackFileNamedByEnvironment) {
    setenv("KRO_INI", "/somewhere/kro.ini", 1);
    EXPECT_EQ(FallbackConfigPath(), "/somewhere/kro.ini");
    unsetenv("KRO_INI");
    EXPECT_EQ(FallbackConfigPath(), "/etc/kro.ini");
}

struct StationCase {
    const char* name;
    const char* primary;  // nullptr: no file
    const char* station;
    int32_t maxMinutes;
    int32_t sizeMB;
};

const StationCase kStationCases[] = {
    {"no file", nullptr, "ABC", 60, 100},
    {"no sections", "[SYSTEM]\nNSTA=3\n", "ABC", 60, 100},
    {"STA0 and STA1 examined by default", "[STA1]\nNAME=ABC\nMAXFILETIME=10\nSIZEMB=5\n", "ABC", 10, 5},
    {"STA2 not examined by default", "[STA2]\nNAME=ABC\nMAXFILETIME=10\n", "ABC", 60, 100},
    {"NSTA 0 examines STA0 and STA1", "[SYSTEM]\nNSTA=0\n[STA1]\nNAME=ABC\nMAXFILETIME=10\n", "ABC", 10, 100},
    {"NSTA not a number examines STA0 and STA1", "[SYSTEM]\nNSTA=x\n[STA1]\nNAME=ABC\nMAXFILETIME=10\n", "ABC", 10, 100},
    {"NSTA 3 reaches STA3", "[SYSTEM]\nNSTA=3\n[STA3]\nNAME=ABC\nMAXFILETIME=10\n", "ABC", 10, 100},
    {"NSTA -1 examines none", "[SYSTEM]\nNSTA=-1\n[STA0]\nNAME=ABC\nMAXFILETIME=10\n", "ABC", 60, 100},
    {"huge NSTA", "[SYSTEM]\nNSTA=2147483647\n[STA7]\nNAME=ABC\nMAXFILETIME=7\n", "ABC", 7, 100},
    {"name matched by prefix", "[STA0]\nNAME=ABCDEF\nMAXFILETIME=10\n", "ABC", 10, 100},
    {"shorter name never matches", "[STA0]\nNAME=AB\nMAXFILETIME=10\n", "ABC", 60, 100},
    {"case matters", "[STA0]\nNAME=abc\nMAXFILETIME=10\n", "ABC", 60, 100},
    {"lowest number wins", "[STA1]\nNAME=ABC2\nMAXFILETIME=2\n[STA0]\nNAME=ABC1\nMAXFILETIME=1\n", "ABC", 1, 100},
    {"MAXFILETIME and SIZEMB 0", "[STA0]\nNAME=ABC\nMAXFILETIME=0\nSIZEMB=0\n", "ABC", 60, 100},
    {"MAXFILETIME and SIZEMB text", "[STA0]\nNAME=ABC\nMAXFILETIME=soon\nSIZEMB=lots\n", "ABC", 60, 100},
    {"negative values passed on", "[STA0]\nNAME=ABC\nMAXFILETIME=-5\nSIZEMB=-1\n", "ABC", -5, -1},
    {"leading digits read", "[STA0]\nNAME=ABC\nMAXFILETIME= 15min\nSIZEMB=+20\n", "ABC", 15, 20},
    {"empty station matches STA0 even when missing", "[STA1]\nNAME=X\nMAXFILETIME=9\n", "", 60, 100},
    {"empty station takes STA0's values", "[STA0]\nNAME=X\nMAXFILETIME=9\n", "", 9, 100},
};

TEST(StationLimits, SectionSearch) {
    for (const StationCase& c : kStationCases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        std::string primary = c.primary ? dir.Write("korvane.ini", c.primary) : dir.File("korvane.ini");
        StationLimits limits = FindStationLimits(primary, c.station);
        EXPECT_EQ(limits.maxMinutes, c.maxMinutes);
        EXPECT_EQ(limits.sizeMB, c.sizeMB);
    }
}

TEST(ConfigInteger, ReadsLeadingDecimalNumber) {
    const std::pair<const char*, int32_t> cases[] = {
        {"42", 42},   {"  -7x", -7},  {"+3", 3},          {"x1", 0},
        {"", 0},      {"- 1", 0},     {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ConfigInteger(text), value);
    }
}

}  // namespace
