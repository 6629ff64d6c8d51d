// The run log: UTC times against the C library's, SHA-256 against sha256sum, and lines that
// two processes append at once read back by a real JSON parser, whole, with the field set.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "fake_target.h"
#include "run_log.h"
#include "sha256.h"

namespace {

TEST(RunLog, UtcTimesAgreeWithTheCLibrary) {
    // About every ten days from 1970 to past 2400, at a second that moves through the day.
    for (uint64_t qwSeconds = 0; qwSeconds < 14000000000ull; qwSeconds += 864604801ull / 1000) {
        time_t t = (time_t)qwSeconds;
        struct tm utc;
        gmtime_r(&t, &utc);
        char szExpected[32], szTime[UTC_TIME_ROOM];
        strftime(szExpected, sizeof szExpected, "%Y-%m-%dT%H:%M:%SZ", &utc);
        FormatUtcTime(qwSeconds, szTime);
        ASSERT_STREQ(szTime, szExpected) << qwSeconds;
    }
}

TEST(RunLog, Sha256AgreesWithSha256sum) {
    std::string strDir = MakeTempDir();
    // Empty, one block, the lengths around the padding's edge, and many blocks.
    for (size_t cb : {0, 3, 55, 56, 63, 64, 65, 119, 1000, 100000}) {
        std::string strBytes;
        for (size_t i = 0; i < cb; i++) strBytes += (char)(i * 7 + i / 256);
        std::string strPath = strDir + "/in" + std::to_string(cb);
        WriteTextFile(strPath, strBytes);
        char szHex[SHA256_HEX_ROOM], szFromBuffer[SHA256_HEX_ROOM];
        ASSERT_EQ(HashFileSha256(strPath.c_str(), szHex), 1);
        FormatSha256((const uint8_t *)strBytes.data(), strBytes.size(), szFromBuffer);
        ProgramResult expected = RunProgram("sha256sum " + strPath);
        EXPECT_EQ(std::string(szHex) + "  " + strPath + "\n", expected.out) << cb;
        EXPECT_STREQ(szFromBuffer, szHex);
    }
}

LogRecord MakeRecord(int nWhich) {
    LogRecord record = {};
    record.qwEndTime = 1796724903;  // 2026-12-08T10:15:03Z
    record.pszHost = "bench-3";
    record.pszPort = nWhich == 0 ? "/dev/serial/by-path/usb-0:1.2" : "rfc2217://10.0.0.7:3001";
    record.pszPart = "811E2";
    record.dwCrystalHz = nWhich == 0 ? 8000000 : 7372800;
    record.pszInput = nWhich == 0 ? "app.s19" : "";
    record.pszSha256 = nWhich == 0 ? "ab12" : nullptr;
    record.pszOperation = nWhich == 0 ? "program" : "erase";
    record.fSerial = nWhich == 0;
    record.qwSerial = 1041;
    record.fSuccess = nWhich == 0;
    record.nExit = nWhich == 0 ? 0 : 3;
    record.pszMessage = nWhich == 0 ? "" : "no \"echo\"\n\xff at $F800";
    record.qwMilliseconds = 4250;
    record.dwBytes = nWhich == 0 ? 512 : 0;
    record.pszVersion = "1.1.0";
    return record;
}

TEST(RunLog, ARecordIsOneLineWithEveryField) {
    char szLine[1024];
    LogRecord recordZero = MakeRecord(0);
    ASSERT_GT(FormatLogRecord(&recordZero, szLine, sizeof szLine), 0u);
    EXPECT_STREQ(szLine,
                 "{\"time\":\"2026-12-08T10:15:03Z\",\"host\":\"bench-3\",\"port\":\"/dev/serial/"
                 "by-path/usb-0:1.2\",\"part\":\"811E2\",\"crystal\":8,\"input\":\"app.s19\","
                 "\"sha256\":\"ab12\",\"operation\":\"program\",\"serial\":1041,\"result\":"
                 "\"success\",\"exit\":0,\"message\":\"\",\"seconds\":4.250,\"bytes\":512,"
                 "\"version\":\"1.1.0\"}\n");
    EXPECT_EQ(FormatLogRecord(&recordZero, szLine, 100), 0u);
}

// Two processes append 300 records each to one log: 600 whole lines, each an object with the
// fields in order and of their types, as another program reads them.
TEST(RunLog, ConcurrentAppendsGiveWholeLines) {
    std::string strPath = MakeTempDir() + "/runs.log";
    pid_t pid = fork();
    if (pid == 0) {
        RunLog log;
        int fOk = OpenRunLog(&log, strPath.c_str());
        LogRecord record = MakeRecord(1);
        for (int i = 0; fOk && i < 300; i++) fOk = AppendLogRecord(&log, &record);
        _exit(fOk ? 0 : 1);
    }
    RunLog log;
    ASSERT_EQ(OpenRunLog(&log, strPath.c_str()), 1);
    LogRecord record = MakeRecord(0);
    for (int i = 0; i < 300; i++) ASSERT_EQ(AppendLogRecord(&log, &record), 1);
    CloseRunLog(&log);
    int nStatus = -1;
    waitpid(pid, &nStatus, 0);
    ASSERT_EQ(nStatus, 0);
    ProgramResult result = RunProgram(
        "/usr/bin/python3 -c '\n"
        "import json, sys, collections\n"
        "keys = [\"time\", \"host\", \"port\", \"part\", \"crystal\", \"input\", \"sha256\",\n"
        "        \"operation\", \"serial\", \"result\", \"exit\", \"message\", \"seconds\",\n"
        "        \"bytes\", \"version\"]\n"
        "count = collections.Counter()\n"
        "for line in open(sys.argv[1], encoding=\"utf-8\"):\n"
        "    o = json.loads(line)\n"
        "    assert list(o) == keys, list(o)\n"
        "    assert isinstance(o[\"crystal\"], (int, float)) and isinstance(o[\"exit\"], int)\n"
        "    assert isinstance(o[\"seconds\"], float) and isinstance(o[\"bytes\"], int)\n"
        "    count[(o[\"result\"], o[\"serial\"], o[\"sha256\"], o[\"crystal\"], o[\"message\"])] "
        "+= 1\n"
        "for k in sorted(count, key=str): print(count[k], ascii(k))\n"
        "' " +
        strPath);
    EXPECT_EQ(result.out,
              "300 ('failure', None, None, 7.3728, 'no \"echo\"\\n\\xff at $F800')\n"
              "300 ('success', 1041, 'ab12', 8, '')\n")
        << result.err;
}

TEST(RunLog, ALogThatCannotBeOpenedIsRefusedNamingIt) {
    std::string strPath = MakeTempDir() + "/no/such/dir.log";
    RunLog log;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenRunLog(&log, strPath.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Log file " + strPath + ": No such file or directory\n");
}

}  // namespace
