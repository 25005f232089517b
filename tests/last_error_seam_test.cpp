// format_last_error with messages that no system hands out: it must cut only a line end and
// touch nothing outside the message.
#include <gtest/gtest.h>

#include "last_error.h"
#include "seams.h"

namespace {

struct Case {
    const char *name;
    const char *message;
    const char *expected;
};

const Case cases[] = {
    {"usual line end", "Access denied.\r\n", "Access denied. (0x5)"},
    {"one character", "X", "X (0x5)"},
    {"no line end", "Access denied.", "Access denied. (0x5)"},
    {"line feed alone", "Access denied.\n", "Access denied. (0x5)"},
    {"nothing but a line end", "\r\n", " (0x5)"},
    {"two lines", "First.\r\nSecond.\r\n", "First.\r\nSecond. (0x5)"},
};

TEST(FormatLastErrorSeams, CutsOnlyTheLineEnd)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_message = true;
        seams.message = c.message;
        char buffer[255];
        SetLastError(ERROR_ACCESS_DENIED);
        format_last_error(buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer), c.expected);
        EXPECT_TRUE(seams.message_guard_intact) << "wrote before the message";
        EXPECT_EQ(seams.calls, std::vector<std::string>{"LocalFree(message)"});
    }
    reset_seams();
}

TEST(FormatLastErrorSeams, NoMessageFreesNothing)
{
    reset_seams();
    seams.fake_message = true;
    seams.message = "";
    char buffer[255];
    SetLastError(0x20000001);
    EXPECT_EQ(std::string(format_last_error(buffer, sizeof buffer)), "");
    EXPECT_TRUE(seams.calls.empty());
    reset_seams();
}

}  // namespace
