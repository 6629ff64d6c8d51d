// Serial numbers: "--serial"'s value, the counter file's text, and numbers taken by threads
// and another process from one file, each exactly once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_target.h"
#include "serial_counter.h"

namespace {

std::string ReadWhole(const std::string &strPath) {
    std::ifstream file(strPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(SerialCounter, SpecIsHexAddressColonOneToEightBytes) {
    struct Case {
        const char *pszValue;
        int nResult;
        uint16_t wAddress;
        uint32_t dwBytes;
    } cases[] = {
        {"b600:2", 1, 0xB600, 2}, {"0xFFF8:8", 1, 0xFFF8, 8}, {"ffff:1", 1, 0xFFFF, 1},
        {"0:1", 1, 0, 1},         {"ffff:2", 0, 0, 0},        {"b600:0", 0, 0, 0},
        {"b600:9", 0, 0, 0},      {"b600:12", 0, 0, 0},       {"b600", 0, 0, 0},
        {":2", 0, 0, 0},          {"10000:1", 0, 0, 0},       {"b600:2 ", 0, 0, 0},
        {"g00:1", 0, 0, 0},       {"b600:-1", 0, 0, 0},       {"", 0, 0, 0},
    };
    for (const Case &c : cases) {
        uint16_t wAddress = 0;
        uint32_t dwBytes = 0;
        EXPECT_EQ(ParseSerialSpec(c.pszValue, &wAddress, &dwBytes), c.nResult) << c.pszValue;
        EXPECT_EQ(wAddress, c.wAddress) << c.pszValue;
        EXPECT_EQ(dwBytes, c.dwBytes) << c.pszValue;
    }
}

TEST(SerialCounter, CounterTextIsOneDecimalNumberOnTheFirstLine) {
    struct Case {
        std::string strText;
        int nResult;
        uint64_t qwNext;
    } cases[] = {
        {"1000\n", 1, 1000},
        {"1000", 1, 1000},
        {" 42 \r\n# batch 7\n", 1, 42},
        {"0\nanything\r", 1, 0},
        {"18446744073709551615\n", 1, UINT64_MAX},
        {"18446744073709551616\n", 0, 0},
        {"", 0, 0},
        {"\n1000\n", 0, 0},
        {"10 00\n", 0, 0},
        {"-1\n", 0, 0},
        {"+5\n", 0, 0},
        {"0x10\n", 0, 0},
        {"12\rjunk", 0, 0},
        {std::string("12\0", 3), 0, 0},
    };
    for (const Case &c : cases) {
        uint64_t qwNext = 0;
        EXPECT_EQ(ParseSerialCounterText(c.strText.data(), c.strText.size(), &qwNext), c.nResult)
            << c.strText;
        EXPECT_EQ(qwNext, c.qwNext) << c.strText;
    }
}

TEST(SerialCounter, NumbersAreBigEndianInTheirBytes) {
    uint8_t rgb[8] = {0};
    EncodeSerialNumber(0x0102030405060708ull, 8, rgb);
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EncodeSerialNumber(0xABCDEF, 2, rgb);
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 2), (std::vector<uint8_t>{0xCD, 0xEF}));
}

// One byte holds 0 to 255: once 255 is given the counter stands at 256, and every later take
// leaves it there; the lines after the number stay as they were.
TEST(SerialCounter, OneByteIsExhaustedAfter255) {
    std::string strPath = MakeTempDir() + "/counter";
    WriteTextFile(strPath, "253\r\n# line 4\n");
    SerialCounter counter;
    ASSERT_EQ(OpenSerialCounter(&counter, strPath.c_str(), 1), 1);
    std::vector<uint64_t> taken;
    uint64_t qwNumber = 0;
    while (TakeSerialNumber(&counter, &qwNumber) == SERIAL_TAKEN) taken.push_back(qwNumber);
    EXPECT_EQ(qwNumber, 256u);
    EXPECT_EQ(TakeSerialNumber(&counter, &qwNumber), SERIAL_EXHAUSTED);
    CloseSerialCounter(&counter);
    char szReason[64];
    DescribeSerialExhausted(qwNumber, 1, szReason, sizeof szReason);
    EXPECT_STREQ(szReason, "serial number 256 does not fit in 1 byte");
    EXPECT_EQ(taken, (std::vector<uint64_t>{253, 254, 255}));
    EXPECT_EQ(ReadWhole(strPath), "256\r\n# line 4\n");
}

TEST(SerialCounter, AFileThatCannotServeIsRefusedNamingIt) {
    std::string strDir = MakeTempDir();
    struct Case {
        const char *pszName;
        const char *pszText;  // NULL: no file
        const char *pszReason;
    } cases[] = {
        {"missing", nullptr, "No such file or directory"},
        {"empty", "", "its first line must hold the next serial number, in decimal"},
        {"words", "next: 5\n", "its first line must hold the next serial number, in decimal"},
        {".", nullptr, "Is a directory"},
    };
    for (const Case &c : cases) {
        std::string strPath = strDir + "/" + c.pszName;
        if (c.pszText != nullptr) WriteTextFile(strPath, c.pszText);
        SerialCounter counter;
        testing::internal::CaptureStderr();
        EXPECT_EQ(OpenSerialCounter(&counter, strPath.c_str(), 2), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Serial counter file " + strPath + ": " + c.pszReason + "\n");
    }
}

// Four threads of this process and a child process take from one file at once: every number
// from the start is given exactly once, and the file ends at start + total.
TEST(SerialCounter, ThreadsAndProcessesNeverShareANumber) {
    const int kPerTaker = 150, kThreads = 4;
    std::string strPath = MakeTempDir() + "/counter";
    WriteTextFile(strPath, "5000\n");
    int rgfd[2];
    ASSERT_EQ(pipe(rgfd), 0);
    pid_t pid = fork();
    if (pid == 0) {
        SerialCounter counter;
        uint64_t rgqw[kPerTaker];
        int fOk = OpenSerialCounter(&counter, strPath.c_str(), 2);
        for (int i = 0; fOk && i < kPerTaker; i++)
            fOk = TakeSerialNumber(&counter, &rgqw[i]) == SERIAL_TAKEN;
        _exit(fOk && write(rgfd[1], rgqw, sizeof rgqw) == (ssize_t)sizeof rgqw ? 0 : 1);
    }
    close(rgfd[1]);
    SerialCounter counter;
    ASSERT_EQ(OpenSerialCounter(&counter, strPath.c_str(), 2), 1);
    std::vector<uint64_t> taken[kThreads + 1];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&counter, &taken, t] {
            uint64_t qw;
            for (int i = 0; i < kPerTaker; i++)
                if (TakeSerialNumber(&counter, &qw) == SERIAL_TAKEN) taken[t].push_back(qw);
        });
    }
    for (std::thread &thread : threads) thread.join();
    CloseSerialCounter(&counter);
    taken[kThreads].resize(kPerTaker);
    EXPECT_EQ(read(rgfd[0], taken[kThreads].data(), kPerTaker * 8), kPerTaker * 8);
    close(rgfd[0]);
    int nStatus = -1;
    waitpid(pid, &nStatus, 0);
    EXPECT_EQ(nStatus, 0);
    std::set<uint64_t> all;
    for (const std::vector<uint64_t> &numbers : taken) all.insert(numbers.begin(), numbers.end());
    const uint64_t qwTotal = kPerTaker * (kThreads + 1);
    EXPECT_EQ(all.size(), qwTotal);
    EXPECT_EQ(*all.begin(), 5000u);
    EXPECT_EQ(*all.rbegin(), 5000 + qwTotal - 1);
    EXPECT_EQ(ReadWhole(strPath), std::to_string(5000 + qwTotal) + "\n");
}

// Another process holds the file's lock and changes the number meanwhile: a take waits for it
// and gets the changed number, never the one read before the lock was free.
TEST(SerialCounter, ATakeWaitsForAnotherProcesssLock) {
    std::string strPath = MakeTempDir() + "/counter";
    WriteTextFile(strPath, "5000\n");
    int rgfd[2];
    ASSERT_EQ(pipe(rgfd), 0);
    pid_t pid = fork();
    if (pid == 0) {
        SharedFile file;
        int fOk = OpenSharedFile(&file, strPath.c_str(), SHARED_FILE_UPDATE) &&
                  LockSharedFile(&file) && write(rgfd[1], "L", 1) == 1;
        usleep(300000);  // a take that ignored the lock would read 5000 meanwhile
        fOk = fOk && RewriteSharedFile(&file, "9000\n", 5) && UnlockSharedFile(&file);
        _exit(fOk ? 0 : 1);
    }
    char ch = 0;
    ASSERT_EQ(read(rgfd[0], &ch, 1), 1);
    SerialCounter counter;
    ASSERT_EQ(OpenSerialCounter(&counter, strPath.c_str(), 4), 1);
    uint64_t qwNumber = 0;
    EXPECT_EQ(TakeSerialNumber(&counter, &qwNumber), SERIAL_TAKEN);
    EXPECT_EQ(qwNumber, 9000u);
    CloseSerialCounter(&counter);
    int nStatus = -1;
    waitpid(pid, &nStatus, 0);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(ReadWhole(strPath), "9001\n");
}

}  // namespace
