// The host's end of the talker protocol against a scripted far end over a real pty.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "com_port.h"
#include "fake_target.h"
#include "scripted_talker.h"
#include "talker_protocol.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ProtocolTest : public TalkerLinkTest {
  protected:
    static int CountLines(const std::string &text, const std::string &prefix) {
        int count = 0;
        for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at++) {
            if (at == 0 || text[at - 1] == '\n') count++;
        }
        return count;
    }
    // The bytes the trace shows under prefix: reads come in as many bytes as have arrived.
    static int CountTracedBytes(const std::string &text, const std::string &prefix) {
        int count = 0;
        for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at++) {
            if (at != 0 && text[at - 1] != '\n') continue;
            size_t end = text.find('\n', at);
            for (size_t i = at + prefix.size(); i < end; i++) count += text[i] == ' ';
        }
        return count;
    }
};

SRecord MakeRecord(uint16_t wAddress, size_t dwLength) {
    SRecord record = {1, wAddress, uint16_t(dwLength), {}};
    for (size_t i = 0; i < dwLength; i++) record.bData[i] = uint8_t(0xA0 + i);
    return record;
}

TEST_F(ProtocolTest, SyncDiscardsStaleBytesAndSucceedsAtOnce) {
    target.writeBytes({'>', 'x', 0x00, '>'});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    target.start([](FakeTarget &t) {
        uint8_t byte;
        if (t.readByte(&byte) && byte == 's') t.writeByte('>');
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    target.join();
    EXPECT_EQ(target.received, Bytes({'s'}));
}

TEST_F(ProtocolTest, SyncGivesUpAfterTenWrongAnswers) {
    target.start([](FakeTarget &t) {
        uint8_t byte;
        while (t.readByte(&byte, 500)) t.writeByte('x');
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(strErr, "GetPrompt: Got a x(0x78), expected '>'\n"), 10);
    EXPECT_EQ(strErr.size(), 10 * strlen("GetPrompt: Got a x(0x78), expected '>'\n"));
    target.join();
    EXPECT_EQ(target.received, Bytes(10, 's'));
}

TEST_F(ProtocolTest, FailingReadOnTheThirdAttemptEndsTheSync) {
    target.start([](FakeTarget &t) {
        uint8_t byte;
        for (int attempt = 1; t.readByte(&byte); attempt++) {
            if (attempt == 3) return t.hangUp();
            t.writeByte('?');
        }
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(strErr, "GetPrompt: Got a ?(0x3f), expected '>'"), 2);
    EXPECT_EQ(CountLines(strErr, "GetPrompt: Error on read ("), 1);
    EXPECT_EQ(CountLines(strErr, "GetPrompt:"), 3);
}

TEST_F(ProtocolTest, PromptWithoutSyncAgainstSilenceReadsOnce) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "GetPrompt: Didn't read a character\n");
    uint8_t byte;
    EXPECT_FALSE(target.readByte(&byte, 100)) << "nothing may be sent without sync";
}

TEST_F(ProtocolTest, WriteTargetByteFrameAndUncheckedReadBack) {
    talker.setStuckAddresses({0x1035});  // reads back something else: still a success
    StartTalker();
    EXPECT_EQ(WriteTargetByte(pPort, 0x1035, 0x10), 1);
    talker.stop = true;
    target.join();
    EXPECT_EQ(target.received, Bytes({'w', 0x10, 0x35, 0x00, 0x10}));
}

TEST_F(ProtocolTest, BulkEraseSendsTheConfigValueAndReadsOnlyThePrompt) {
    link.bConfigValue = 0xF5;
    link.wEepromStart = 0xB600;  // the frame's address does not follow the range
    StartTalker();
    StartTracing();
    testing::internal::CaptureStderr();
    EXPECT_EQ(BulkErase(&link), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "BulkErase\nWrite:42 \nWrite:F8 \nWrite:00 \nWrite:00 \nWrite:F5 \nRead:3E \n");
}

TEST_F(ProtocolTest, ThirtyByteRecordWrites35AndReads31) {
    StartTalker();
    StartTracing();
    SRecord record = MakeRecord(0x2000, 30);
    uint32_t dwMismatches = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteSRecord(&link, &record, &dwMismatches), 1);
    EXPECT_EQ(dwMismatches, 0u);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(strErr.rfind("WriteSRecord(1e bytes)\n", 0), 0u);
    EXPECT_EQ(CountLines(strErr, "Write:"), 35);
    EXPECT_EQ(CountTracedBytes(strErr, "Read:"), 31);
    talker.stop = true;
    target.join();
    ASSERT_EQ(talker.frames().size(), 1u);
    EXPECT_EQ(talker.frames()[0].letter, 'W');
    EXPECT_EQ(talker.frames()[0].count, 30);
    EXPECT_EQ(Bytes(target.received.begin(), target.received.begin() + 5),
              Bytes({'W', 0x20, 0x00, 0x00, 0x1E}));
}

TEST_F(ProtocolTest, RecordsStraddlingTheRangeAreSplitAtEachBound) {
    struct Case {
        uint16_t wStart, wEnd, wAddress;
        size_t dwLength;
        std::vector<std::pair<char, uint16_t>> blocks;  // letter, address
    } cases[] = {
        {0xF800, 0xFFFF, 0xF7F0, 32, {{'W', 0xF7F0}, {'P', 0xF800}}},
        {0xF800, 0xF8FF, 0xF8F0, 32, {{'P', 0xF8F0}, {'W', 0xF900}}},
        {0x1000, 0x1003, 0x0FFE, 8, {{'W', 0x0FFE}, {'P', 0x1000}, {'W', 0x1004}}},
        {0xF800, 0xFFFF, 0xF900, 16, {{'P', 0xF900}}},
        {0xF800, 0xFFFF, 0x2000, 0, {}},
    };
    StartTalker();
    for (const Case &c : cases) {
        link.wEepromStart = c.wStart;
        link.wEepromEnd = c.wEnd;
        talker.clearFrames();
        SRecord record = MakeRecord(c.wAddress, c.dwLength);
        uint32_t dwMismatches = 0;
        EXPECT_EQ(WriteSRecord(&link, &record, &dwMismatches), 1);
        EXPECT_EQ(dwMismatches, 0u);
        std::vector<TalkerFrame> frames = talker.frames();
        ASSERT_EQ(frames.size(), c.blocks.size()) << std::hex << c.wAddress;
        Bytes allData;
        for (size_t i = 0; i < c.blocks.size(); i++) {
            EXPECT_EQ(frames[i].letter, c.blocks[i].first);
            EXPECT_EQ(frames[i].address, c.blocks[i].second);
            allData.insert(allData.end(), frames[i].data.begin(), frames[i].data.end());
        }
        EXPECT_EQ(allData, Bytes(record.bData, record.bData + c.dwLength));
    }
}

TEST_F(ProtocolTest, ByteThatDoesNotTakeItsValueIsReportedAndCounted) {
    talker.setStuckAddresses({0xF802});
    StartTalker();
    uint32_t dwMismatches = 0;
    SRecord record = MakeRecord(0xF800, 4);
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteSRecord(&link, &record, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WriteSRecord: $F802 (byte 2 of the record at $F800) wrote A2, read back 00\n");
    EXPECT_EQ(dwMismatches, 1u);
}

TEST(InEepromRange, BothBoundsAreInside) {
    static TalkerLink link;
    StartTalkerLink(&link, 1, "");
    EXPECT_EQ(InEepromRange(&link, 0xF7FF), 0);
    EXPECT_EQ(InEepromRange(&link, 0xF800), 1);
    EXPECT_EQ(InEepromRange(&link, 0xFFFF), 1);
    link.wEepromStart = link.wEepromEnd = 0xB600;
    EXPECT_EQ(InEepromRange(&link, 0xB5FF), 0);
    EXPECT_EQ(InEepromRange(&link, 0xB600), 1);
    EXPECT_EQ(InEepromRange(&link, 0xB601), 0);
}

}  // namespace
