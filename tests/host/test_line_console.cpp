// The console of several boards: their lines never mix, the summary counts what each got, and
// an interrupt reports every board that was still at work.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "exit_status.h"
#include "line_console.h"
#include "say.h"

namespace {

struct Console {
    LineBoard boards[3] = {};
    LineConsole console;

    explicit Console(LineForm eForm, uint32_t dwBoards = 3) {
        const char *rgszPorts[] = {"/dev/ttyUSB0", "rfc2217://lab-2:4001", "COM7"};
        for (uint32_t i = 0; i < dwBoards; i++)
            snprintf(boards[i].szPort, sizeof boards[i].szPort, "%s", rgszPorts[i]);
        StartLineConsole(&console, eForm, boards, dwBoards, "programmed");
    }
    void Finish(uint32_t i, int nExit, const char *pszReason, uint64_t qwMs) {
        BoardResult result = {&boards[i], nExit == EXIT_DONE, nExit, "", qwMs, 0, 0, 512, NULL};
        snprintf(result.szReason, sizeof result.szReason, "%s", pszReason);
        NoteBoardResult(&boards[i], &result);
    }
};

// Each board's thread prints its lines in pieces that cut across line ends, as progress marks
// and messages do; every line comes out whole, after its own board's port.
TEST(LineConsole, BoardsPrintingAtOnceNeverShareALine) {
    Console c(LINE_PREFIXED, 2);
    testing::internal::CaptureStdout();
    auto print = [](LineBoard *pBoard, const char *pszName) {
        BindBoardConsole(pBoard);
        for (int i = 0; i < 300; i++) {
            SayOut("%s line ", pszName);
            SayOut("%d.", i);
            SayOut("%s", i % 7 == 0 ? "\n" : ".\n");
        }
        BindTextSink(NULL);
    };
    std::thread a(print, &c.boards[0], "first"), b(print, &c.boards[1], "second");
    a.join();
    b.join();
    std::istringstream out(testing::internal::GetCapturedStdout());
    std::regex whole(
        R"(\[/dev/ttyUSB0\] first line (\d+)\.\.?|\[rfc2217://lab-2:4001\] second line (\d+)\.\.?)");
    int nLines = 0;
    for (std::string line; std::getline(out, line); nLines++)
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
    EXPECT_EQ(nLines, 600);
}

TEST(LineConsole, SummaryRowsInTheBoardsOrderThenTheCount) {
    Console c(LINE_PREFIXED);
    c.Finish(2, EXIT_DONE, "", 4250);
    c.Finish(0, EXIT_TARGET, "SendRawWithEcho: dwRead != 1", 20190);
    c.Finish(1, EXIT_DONE, "", 4310);
    testing::internal::CaptureStdout();
    SayLineSummary(&c.console, EXIT_TARGET);
    std::string out = testing::internal::GetCapturedStdout();
    std::regex rows(
        "Port +Result +Seconds\n"
        "/dev/ttyUSB0 +Failure: SendRawWithEcho: dwRead != 1 + 20\\.1\n"
        "rfc2217://lab-2:4001 +Success + 4\\.3\n"
        "COM7 +Success + 4\\.2\n"
        "2 of 3 boards programmed\n");
    EXPECT_TRUE(std::regex_match(out, rows)) << out;
}

// Ctrl-C: the boards at work say where they stopped, the summary so far counts them as
// failed, and the run ends as interrupted; a station whose ports all wait ends as its boards did.
TEST(LineConsole, InterruptReportsTheBoardsAtWorkAndTheSummarySoFar) {
    Console c(LINE_PREFIXED);
    c.Finish(0, EXIT_DONE, "", 1000);
    NoteBoardRunning(&c.boards[1]);
    c.boards[1].progress.stopped.nStage = STAGE_DOWNLOAD;
    c.boards[1].progress.stopped.nDone = 100;
    c.boards[1].progress.stopped.nTotal = 512;
    c.boards[2].nState = BOARD_WAITING;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReportInterruptedLine(&c.console, 130), 130);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[rfc2217://lab-2:4001] Interrupted: 100 of 512 bytes written"),
              std::string::npos)
        << err;
    EXPECT_NE(out.find("rfc2217://lab-2:4001  Failure: interrupted"), std::string::npos) << out;
    EXPECT_NE(out.find("1 of 2 boards programmed\n"), std::string::npos) << out;

    c.boards[1].nState = BOARD_WAITING;  // a station between boards: nothing was stopped
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReportInterruptedLine(&c.console, 130), EXIT_DONE);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("1 of 1 board programmed\n"),
              std::string::npos);
}

}  // namespace
