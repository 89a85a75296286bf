#include <gtest/gtest.h>

#include "platform/odbc_handle.h"

namespace {

TEST(DiagnosticTags, LeadingBracketedTagsAndOneBlankEachAreRemoved) {
    struct Case {
        const char* message;
        const char* expected;
    } const cases[] = {
        {"[unixODBC][Driver Manager]Data source name not found", "Data source name not found"},
        {"[SQLite]no such table: X (1)", "no such table: X (1)"},
        {"[A] [B]  text", " text"},
        {"ERROR: relation \"x\" does not exist;\nError", "ERROR: relation \"x\" does not exist;\nError"},
        {"text [not a tag]", "text [not a tag]"},
        {"[unclosed tag", "[unclosed tag"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(platform::StripDiagnosticTags(c.message), c.expected);
    }
}

}  // namespace
