// format_last_error against the system's own message texts.
#include <gtest/gtest.h>
#include <string.h>

#include "last_error.h"
#include "support.h"

namespace {

const DWORD no_text_code = 0x20000001;  // an application-defined code: the system has no text

std::string format(DWORD code, int size = 255)
{
    std::string buffer(size, '\x7f');
    SetLastError(code);
    const char *result = format_last_error(&buffer[0], size);
    EXPECT_EQ(result, buffer.data());
    return std::string(buffer.c_str());
}

struct Case {
    const char *name;
    DWORD code;
    const char *shown_code;
};

const Case cases[] = {
    {"file not found", 2, "(0x2)"},
    {"text with an insert", ERROR_BAD_EXE_FORMAT, "(0xc1)"},
    {"eight digits, lower case", 0x8007000E, "(0x8007000e)"},
    {"cancelled by the user", ERROR_CANCELLED, "(0x4c7)"},
};

TEST(FormatLastError, SystemTextThenCode)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = system_message(c.code);
        ASSERT_FALSE(message.empty()) << "the system has no text for this code";
        EXPECT_EQ(format(c.code), message + " " + c.shown_code);
    }
}

TEST(FormatLastError, InsertIsShownAsItStands)
{
    const std::string text = format(ERROR_BAD_EXE_FORMAT);
    EXPECT_NE(text.find("%1"), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
}

TEST(FormatLastError, NoTextGivesEmptyText)
{
    ASSERT_EQ(system_message(no_text_code), "");
    EXPECT_EQ(format(no_text_code), "");
}

// The system's message for code 2 is n characters with its line end; it and the code need
// n + 13 characters and the terminator.
TEST(FormatLastError, MessageMustFitWithTheCode)
{
    char *message = NULL;
    const int n = (int)FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        NULL, ERROR_FILE_NOT_FOUND, 0, (LPSTR)&message, 0, NULL);
    ASSERT_GT(n, 2);
    LocalFree(message);

    const std::string full = system_message(ERROR_FILE_NOT_FOUND) + " (0x2)";
    const struct {
        const char *name;
        int size;
        std::string expected;
    } sizes[] = {
        {"one byte more than needed", n + 14, full},
        {"exactly n + 13", n + 13, ""},
        {"smaller still", n, ""},
        {"one byte", 1, ""},
    };
    for (const auto &s : sizes) {
        SCOPED_TRACE(s.name);
        // The bytes past size belong to someone else and must stay as they are.
        char buffer[300];
        memset(buffer, '\x7f', sizeof buffer);
        SetLastError(ERROR_FILE_NOT_FOUND);
        format_last_error(buffer, s.size);
        EXPECT_EQ(std::string(buffer), s.expected);
        for (int i = s.size; i < (int)sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '\x7f') << "written past the end at " << i;
    }
}

}  // namespace
