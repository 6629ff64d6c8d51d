// The monitor's handling of bytes: what the chip sends as it is shown, what is typed as it
// is sent.
#include <gtest/gtest.h>

#include <string>

#include "monitor.h"

namespace {

std::string Shown(const std::string &bytes, int fRaw, size_t cchRoom = 1024) {
    char szText[1024];
    size_t cch = FormatMonitorBytes(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                    fRaw, szText, cchRoom);
    EXPECT_EQ(szText[cch], '\0') << "terminated";
    return std::string(szText, cch);
}

TEST(Monitor, BytesThatAreNotPrintableShowAsHexUnlessRaw) {
    struct Case {
        std::string bytes, shown;
    } cases[] = {
        {"Hello\r\n", "Hello\r\n"},
        {"a\tb", "a\tb"},
        {std::string("\0\x01\x1b\x7f", 4), "\\x00\\x01\\x1B\\x7F"},
        {"\x80\xff ~", "\\x80\\xFF ~"},
        {"\\x41", "\\x41"},  // a backslash typed by the program stays one
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Shown(c.bytes, 0), c.shown);
        EXPECT_EQ(Shown(c.bytes, 1), c.bytes) << "raw";
    }
}

// A byte that does not fit whole is left out, never cut to a part of its \xHH.
TEST(Monitor, FormattingStopsAtTheRoomWithWholeBytes) {
    EXPECT_EQ(Shown("\x01\x02", 0, 9), "\\x01\\x02");
    EXPECT_EQ(Shown("\x01\x02", 0, 8), "\\x01");
    EXPECT_EQ(Shown("ab\x01", 0, 6), "ab");
    EXPECT_EQ(Shown("abcdef", 0, 6), "abcde");
    EXPECT_EQ(Shown(std::string(300, '\x05'), 0).size(), 4u * 255);  // 1024 bytes of room
}

TEST(Monitor, TypedBytesBeforeCtrlBracketAreSentAndItEndsTheWatch) {
    struct Case {
        std::string typed;
        uint32_t dwSend;
        int fEnd;
    } cases[] = {{"abc", 3, 0},
                 {"ab\x1d"
                  "cd",
                  2, 1},
                 {"\x1d", 0, 1},
                 {"", 0, 0},
                 {"\x03\x1c", 2, 0}};
    for (const Case &c : cases) {
        int fEnd = -1;
        uint32_t dwSend = CountBytesToSend(reinterpret_cast<const uint8_t *>(c.typed.data()),
                                           (uint32_t)c.typed.size(), &fEnd);
        EXPECT_EQ(dwSend, c.dwSend) << c.typed;
        EXPECT_EQ(fEnd, c.fEnd) << c.typed;
    }
}

}  // namespace
