#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/support/temp_dir.h"

namespace {

struct ProfileCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    size_t buffer;
    const char* expected;
};

// Default for every row: "DEF".
const ProfileCase kCases[] = {
    {"plain value", "[A]\nk=v\n", "A", "k", 256, "v"},
    {"section and key ignore case", "[Data]\nDir=/x\n", "DATA", "DIR", 256, "/x"},
    {"blanks around key and value", "[A]\n  k \t=  v w \t\n", "A", "k", 256, "v w"},
    {"double quotes removed", "[A]\nk=\" v \"\n", "A", "k", 256, " v "},
    {"single quotes removed", "[A]\nk='v'\n", "A", "k", 256, "v"},
    {"only outermost matching pair", "[A]\nk=''x''\n", "A", "k", 256, "'x'"},
    {"mismatched quotes stay", "[A]\nk='x\"\n", "A", "k", 256, "'x\""},
    {"comment line skipped", "[A]\n;k=c\nk=v\n", "A", "k", 256, "v"},
    {"semicolon inside value kept", "[A]\nk=diet ;gag\n", "A", "k", 256, "diet ;gag"},
    {"hash is not a comment", "[A]\n#k=h\n", "A", "#k", 256, "h"},
    {"first key wins", "[A]\nk=1\nk=2\n", "A", "k", 256, "1"},
    {"first section wins", "[A]\nx=1\n[B]\nk=b\n[a]\nk=2\n", "A", "k", 256, "DEF"},
    {"key of another section not seen", "[B]\nk=b\n[A]\nj=1\n", "A", "k", 256, "DEF"},
    {"lines before any section ignored", "k=0\n[A]\n", "A", "k", 256, "DEF"},
    {"CR LF line ends", "[A]\r\nk=v\r\n", "A", "k", 256, "v"},
    {"blanks in section header", "  [ A ]  trailing\nk=v\n", "A", "k", 256, "v"},
    {"missing section", "[B]\nk=v\n", "A", "k", 256, "DEF"},
    {"missing key", "[A]\nj=v\n", "A", "k", 256, "DEF"},
    {"empty value is present", "[A]\nk=\n", "A", "k", 256, ""},
    {"line without equals ignored", "[A]\nk\nk=v\n", "A", "k", 256, "v"},
    {"value cut to buffer - 1", "[A]\nk=12345678901234567890\n", "A", "k", 16, "123456789012345"},
    {"default cut to buffer - 1", "", "A", "k", 3, "DE"},
    {"buffer of 0 gives nothing", "[A]\nk=v\n", "A", "k", 0, ""},
    {"lookup names lose outer spaces", "[A]\nk=v\n", " A ", " k ", 256, "v"},
};

TEST(ProfileReader, TableOfCases) {
    for (const ProfileCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetProfileStringFromText(c.section, c.key, "DEF", c.buffer, c.text), c.expected);
    }
}

TEST(ProfileReader, MissingFileGivesDefaultWithoutTrailingBlanks) {
    testsupport::TempDir dir;
    EXPECT_EQ(GetPrivateProfileString("A", "k", " d  ", 256, dir.File("none.ini")), " d");
}

TEST(ProfileReader, ReadsFileAndListsSections) {
    testsupport::TempDir dir;
    std::string path = dir.Write("x.ini", "[SYSTEM]\nNSTA=3\n\n[STA2]\nNAME=ABC\n");
    EXPECT_EQ(GetPrivateProfileString("sta2", "name", "", 256, path), "ABC");
    EXPECT_EQ(GetProfileSectionNames(path), (std::vector<std::string>{"SYSTEM", "STA2"}));
}

}  // namespace
