// The list of boards: "--boards" files' texts, names refused, and one port named twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "board_list.h"
#include "fake_target.h"

namespace {

std::vector<std::string> Names(const BoardList &list) {
    return std::vector<std::string>(list.rgszName, list.rgszName + list.dwCount);
}

TEST(BoardList, BoardsTextIsOneNameALine) {
    struct Case {
        std::string strText;
        std::vector<std::string> names;  // the names added before a refusal
        std::string strErr;              // "" when every line is accepted
    } cases[] = {
        {"/dev/ttyUSB0\n/dev/ttyUSB1\n", {"/dev/ttyUSB0", "/dev/ttyUSB1"}, ""},
        {"  # lab bench 2\r\n\r\n\t/dev/ttyUSB0  \r\nrfc2217://[::1]:7000",
         {"/dev/ttyUSB0", "rfc2217://[::1]:7000"},
         ""},
        {"#only a comment\n\n   \n", {}, ""},
        {"/dev/a # not a comment here\n", {"/dev/a # not a comment here"}, ""},
        {"/dev/a\nrfc2217://host\n/dev/b\n",
         {"/dev/a"},
         "b.txt line 2: rfc2217://host: not a network port: write rfc2217://HOST:PORT, PORT "
         "from 1 to 65535\n"},
        {"\n\nrfc2217://h:0\n",
         {},
         "b.txt line 3: rfc2217://h:0: not a network port: write rfc2217://HOST:PORT, PORT "
         "from 1 to 65535\n"},
        {"/dev/a\x01x\n", {}, "b.txt line 1: a port name holds no control character\n"},
        {std::string("/dev/a\0b", 8), {}, "b.txt line 1: a port name holds no control character\n"},
        {std::string(260, 'x'),
         {},
         "b.txt line 1: Device name is too long: at most 259 characters\n"},
    };
    for (const Case &c : cases) {
        std::unique_ptr<BoardList> pList(new BoardList());
        testing::internal::CaptureStderr();
        int nResult = ParseBoardsText(pList.get(), c.strText.data(), c.strText.size(), "b.txt");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.strErr) << c.strText;
        EXPECT_EQ(nResult, c.strErr.empty() ? 1 : 0) << c.strText;
        EXPECT_EQ(Names(*pList), c.names) << c.strText;
    }
}

TEST(BoardList, AListHoldsAtMost128Boards) {
    std::unique_ptr<BoardList> pList(new BoardList());
    std::string strText;
    for (int i = 0; i < MAX_BOARDS; i++) strText += "/dev/ttyUSB" + std::to_string(i) + "\n";
    EXPECT_EQ(ParseBoardsText(pList.get(), strText.data(), strText.size(), "b.txt"), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AddBoardName(pList.get(), "/dev/one-more"), 0);
    EXPECT_EQ(ParseBoardsText(pList.get(), "\n/dev/x", 7, "b.txt"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Too many boards: at most 128\nb.txt line 2: too many boards: at most 128\n");
    EXPECT_EQ(pList->dwCount, (uint32_t)MAX_BOARDS);
}

TEST(BoardList, BoardsFileMissingMalformedOrEmptyHaveTheirOwnResults) {
    std::string strDir = MakeTempDir();
    WriteTextFile(strDir + "/good", "/dev/ttyUSB0\n");
    WriteTextFile(strDir + "/bad", "rfc2217://:1\n");
    WriteTextFile(strDir + "/empty", "# none yet\n");
    struct Case {
        const char *pszName;
        BoardsFileResult eResult;
        std::string strErr;
    } cases[] = {
        {"good", BOARDS_FILE_READ, ""},
        {"missing", BOARDS_FILE_UNREADABLE,
         "Boards file " + strDir + "/missing: No such file or directory\n"},
        {"bad", BOARDS_FILE_MALFORMED,
         strDir + "/bad line 1: rfc2217://:1: not a network port: write rfc2217://HOST:PORT, "
                  "PORT from 1 to 65535\n"},
        {"empty", BOARDS_FILE_MALFORMED, "Boards file " + strDir + "/empty names no port\n"},
    };
    for (const Case &c : cases) {
        std::unique_ptr<BoardList> pList(new BoardList());
        std::string strPath = strDir + "/" + c.pszName;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReadBoardsFile(pList.get(), strPath.c_str()), c.eResult) << c.pszName;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.strErr);
    }
}

// A link and its target are one device, as /dev/serial/by-id names are links to /dev/ttyUSBn;
// so is one network host and port however its host is written.
TEST(BoardList, OnePortNamedTwiceIsRefusedNamingBoth) {
    std::string strDir = MakeTempDir();
    WriteTextFile(strDir + "/ttyUSB0", "");
    WriteTextFile(strDir + "/ttyUSB1", "");
    ASSERT_EQ(symlink((strDir + "/ttyUSB0").c_str(), (strDir + "/by-id").c_str()), 0);
    std::string strRoundabout = strDir + "/../" + strDir.substr(strDir.rfind('/') + 1) + "/ttyUSB1";
    struct Case {
        std::vector<std::string> names;
        std::string strErr;  // "" when they are distinct
    } cases[] = {
        {{strDir + "/ttyUSB0", strDir + "/ttyUSB1", "rfc2217://h:1", "rfc2217://h:2", "/dev/no"},
         ""},
        {{strDir + "/ttyUSB1", strDir + "/by-id", strDir + "/ttyUSB0"},
         strDir + "/by-id and " + strDir + "/ttyUSB0"},
        {{strDir + "/ttyUSB1", strRoundabout}, strDir + "/ttyUSB1 and " + strRoundabout},
        {{"rfc2217://Bench-2:4000", "rfc2217://bench-2:4000"},
         "rfc2217://Bench-2:4000 and rfc2217://bench-2:4000"},
        {{"/dev/no-such", "/dev/no-such"}, "/dev/no-such and /dev/no-such"},
    };
    for (const Case &c : cases) {
        std::unique_ptr<BoardList> pList(new BoardList());
        for (const std::string &name : c.names)
            ASSERT_EQ(AddBoardName(pList.get(), name.c_str()), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(CheckBoardsDistinct(pList.get()), c.strErr.empty() ? 1 : 0) << c.strErr;
        std::string strErr = testing::internal::GetCapturedStderr();
        EXPECT_EQ(strErr, c.strErr.empty() ? ""
                                           : c.strErr +
                                                 " are the same port: each board needs a port "
                                                 "of its own\n");
    }
}

}  // namespace
