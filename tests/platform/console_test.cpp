#include <gtest/gtest.h>

#include <string>

#include "platform/console.h"

namespace {

// Captures every message handed to the console, one string per call.
class ConsoleCapture {
public:
    ConsoleCapture() {
        SetConsoleSink([this](std::string_view message) {
            messages.emplace_back(message);
            return 0;
        });
    }
    ~ConsoleCapture() { SetConsoleSink(nullptr); }
    std::vector<std::string> messages;
};

TEST(Console, FormatsAndAddsOneLineFeedPerCall) {
    ConsoleCapture capture;
    EXPECT_EQ(ConsolePrint("%4d  %2d | %02d | %6.2f | %s", 2005, 3, 7, 100.0, "x"), 0);
    EXPECT_EQ(ConsolePrint("Done!\n"), 0);
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0], "2005   3 | 07 | 100.00 | x\n");
    EXPECT_EQ(capture.messages[1], "Done!\n\n");  // the line and an empty line
}

TEST(Console, CompleteTextIsNeverReadAsFormat) {
    ConsoleCapture capture;
    ConsolePrintText("File open error '/data/100%s%d/x'");
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "File open error '/data/100%s%d/x'\n");
}

TEST(Console, LongMessagesArriveWhole) {
    ConsoleCapture capture;
    const std::string path(40000, 'p');
    ConsolePrint("File create error '%s'", path.c_str());
    ConsolePrintText(path);
    ASSERT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(capture.messages[0], "File create error '" + path + "'\n");
    EXPECT_EQ(capture.messages[1], path + "\n");
}

TEST(Console, MessageJustAtTheWorkingBufferSize) {
    ConsoleCapture capture;
    for (size_t length : {15998u, 15999u, 16000u}) {
        const std::string text(length, 'a');
        ConsolePrint("%s", text.c_str());
        ConsolePrintText(text);
    }
    ASSERT_EQ(capture.messages.size(), 6u);
    for (const std::string& message : capture.messages) {
        EXPECT_EQ(message.find_first_not_of('a'), message.size() - 1);
        EXPECT_EQ(message.back(), '\n');
    }
}

TEST(Console, FailedSinkWriteGivesMinusOne) {
    SetConsoleSink([](std::string_view) { return -1; });
    EXPECT_EQ(ConsolePrint("x"), -1);
    SetConsoleSink(nullptr);
}

}  // namespace
