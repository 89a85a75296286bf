#include "recorder/header_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The field after a cut, as text up to its first NUL, with the bytes after it shown too.
std::string Cut(void (*cut)(char*, size_t), std::string field, size_t width) {
    cut(field.data(), width);
    return field;
}

TEST(TrimTrailingBlanks, RemovesOnlyTheBlanksAtTheEndOfTheWidth) {
    const struct {
        const char* label;
        std::string field;
        size_t width;
        std::string expected;
    } cases[] = {
        {"blanks to the end", "SHZ  ", 5, std::string("SHZ\0\0", 5)},
        {"a NUL at the end stops it", std::string("Z  \0", 4), 4, std::string("Z  \0", 4)},
        {"inner blanks stay", "B H ", 4, std::string("B H\0", 4)},
        {"all blanks", "   ", 3, std::string("\0\0\0", 3)},
        {"width 0 does nothing", "  ", 0, "  "},
        {"only the width is looked at", "A   ", 2, std::string("A\0  ", 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Cut(TrimTrailingBlanks, c.field, c.width), c.expected);
    }
}

TEST(CutAtBlankOrDot, EndsTheTextAtItsFirstBlankOrDot) {
    const struct {
        const char* label;
        std::string field;
        std::string expected;
    } cases[] = {
        {"dot", "ABC.XYZ", std::string("ABC\0XYZ", 7)},
        {"blank, and every later blank", "AB CD E", std::string("AB\0CD\0E", 7)},
        {"the scan stops after the first dot", "A B.C D", std::string("A\0B\0C D", 7)},
        {"nothing to cut", "ABCDEFG", "ABCDEFG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Cut(CutAtBlankOrDot, c.field, c.field.size()), c.expected);
    }
}

class CodePageTest : public testing::Test {
  protected:
    ~CodePageTest() override { SetRecorderCodePage("WINDOWS-1251"); }
};

TEST_F(CodePageTest, DecodesWindows1251AndUpperCasesItsLetters) {
    ASSERT_TRUE(SetRecorderCodePage("WINDOWS-1251"));
    EXPECT_EQ(DecodeRecorderText("\xEA\xE0\xED\xE0\xEB \xB8"), "канал ё");
    EXPECT_EQ(UpperCaseRecorderText("канал ё abc µ ß"), "КАНАЛ Ё ABC µ ß");
    EXPECT_EQ(DecodeRecorderText("A\x98Z"), "A\xEF\xBF\xBDZ")
        << "the one byte cp1251 leaves undefined";
}

TEST_F(CodePageTest, AnotherCodePageDecodesTheSameBytesDifferently) {
    ASSERT_TRUE(SetRecorderCodePage("KOI8-R"));
    EXPECT_EQ(DecodeRecorderText("\xCB\xC1\xCE\xC1\xCC"), "канал");
    uint8_t field[32] = {};
    std::memcpy(field, "\xCB\xC1\xCE\xC1\xCC.1", 7);
    EXPECT_EQ(StationTextFromField(field), "КАНАЛ");
}

TEST_F(CodePageTest, RefusesCodePagesItCannotUseAndKeepsTheCurrentOne) {
    ASSERT_TRUE(SetRecorderCodePage("WINDOWS-1251"));
    EXPECT_FALSE(SetRecorderCodePage("NO-SUCH-CODE-PAGE"));
    EXPECT_FALSE(SetRecorderCodePage("UTF-16")) << "blanks and dots would not be single bytes";
    EXPECT_FALSE(SetRecorderCodePage(""));
    EXPECT_EQ(DecodeRecorderText("\xEC"), "м");
}

TEST_F(CodePageTest, UpperCasingLeavesMalformedUtf8Replaced) {
    EXPECT_EQ(UpperCaseRecorderText("a\xFF"
                                    "b"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(UpperCaseRecorderText("\xD0"), "\xEF\xBF\xBD") << "cut-off sequence";
}

}  // namespace
