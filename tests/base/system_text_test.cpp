// A system's error text as the messages quote it, whichever system worded it.
#include "base/system_text.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemText, TrailingSpacesControlCharactersAndFullStopsGo)
{
    EXPECT_EQ(base::TrimErrorText("Device or resource busy.\r\n"), "Device or resource busy");
    EXPECT_EQ(base::TrimErrorText("No such device. . \t"), "No such device");
    EXPECT_EQ(base::TrimErrorText("v1.2 not supported"), "v1.2 not supported"); // inner full stops stay
    EXPECT_EQ(base::TrimErrorText(" ..\n"), "");
    EXPECT_EQ(base::TrimErrorText(""), "");
    EXPECT_EQ(base::TrimErrorText("Ошибка.\x7F"), "Ошибка"); // UTF-8 bytes above 0x7F are text
}

} // namespace
