// The host's end of the talker protocol: against the talker on the simulated chip, and
// against a scripted far end over a real pty where the chip can't misbehave as needed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "com_port.h"
#include "fake_target.h"
#include "scripted_talker.h"
#include "sim_port.h"
#include "talker_protocol.h"
#include "test_link.h"

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

// A wrong answer may be a garbled byte; a second one means the line carries something else
// than the talker: the sync stops and says once what is likely.
TEST_F(ProtocolTest, SyncStopsAtTheSecondWrongAnswerAndSaysWhatIsLikely) {
    target.start([](FakeTarget &t) {
        uint8_t byte;
        while (t.readByte(&byte, 500)) t.writeByte(0x80);
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(strErr,
              "GetPrompt: Got a $80, expected '>'\n"
              "GetPrompt: Got a $80, expected '>'\n"
              "GetPrompt: the board answers the sync with $80, not the talker's prompt: likely "
              "another part than -p names (its boot ROM still taking the load), or a port that "
              "does not make 9600 baud. Check -p, reset the board into special bootstrap mode "
              "and run again\n");
    target.join();
    EXPECT_EQ(target.received, Bytes(2, 's'));
}

// Never a raw control byte on the terminal; a printable one keeps its form.
TEST_F(ProtocolTest, OneWrongAnswerIsRiddenOutAndShownByItsValue) {
    for (uint8_t bWrong : {uint8_t(0x1B), uint8_t(0x00), uint8_t(0xC1), uint8_t('x')}) {
        target.start([bWrong](FakeTarget &t) {
            uint8_t byte;
            if (t.readByte(&byte)) t.writeByte(bWrong);
            if (t.readByte(&byte)) t.writeByte('>');
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetPrompt(pPort, 1), 1);
        target.join();
        char szExpected[64];
        if (bWrong == 'x')
            snprintf(szExpected, sizeof szExpected, "GetPrompt: Got a x(0x78), expected '>'\n");
        else
            snprintf(szExpected, sizeof szExpected, "GetPrompt: Got a $%02X, expected '>'\n",
                     bWrong);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), szExpected);
    }
}

TEST_F(ProtocolTest, FailingReadOnTheSecondAttemptEndsTheSync) {
    target.start([](FakeTarget &t) {
        uint8_t byte;
        for (int attempt = 1; t.readByte(&byte); attempt++) {
            if (attempt == 2) return t.hangUp();
            t.writeByte('?');
        }
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(strErr, "GetPrompt: Got a ?(0x3f), expected '>'"), 1);
    EXPECT_EQ(CountLines(strErr, "GetPrompt: Error on read ("), 1);
    EXPECT_EQ(CountLines(strErr, "GetPrompt:"), 2);
}

// After the switch, $00 is a chip that reset (its break, or its boot ROM's echoes at a slower
// rate); other answers, or none, a rate the line does not carry.
TEST_F(ProtocolTest, RateSwitchTellsAResetFromARateTheLineDoesNotCarry) {
    struct Case {
        int nAnswer;  // what answers every sync at the new rate
        const char *pszVerdict;
    } cases[] = {
        {0x00, "SetTalkerRate: the board answered $00 at 15625 baud: the chip reset"},
        {'x',
         "SetTalkerRate: the talker did not answer at 15625 baud: the adapter or the cable "
         "may not carry this rate (try a lower -b)\n"},
    };
    for (const Case &c : cases) {
        target.received.clear();
        target.start([&c](FakeTarget &t) {
            t.readBytes(FRAME_LENGTH);
            uint8_t byte;
            while (t.readByte(&byte, 500)) t.writeByte(uint8_t(c.nAnswer));
        });
        testing::internal::CaptureStderr();
        EXPECT_EQ(SetTalkerRate(pPort, 0x102B, 0x03, 15625), 0);
        std::string strErr = testing::internal::GetCapturedStderr();
        target.join();
        EXPECT_EQ(CountLines(strErr, "GetPrompt: Got a "), 2) << strErr;
        EXPECT_EQ(CountLines(strErr, c.pszVerdict), 1) << strErr;
        EXPECT_EQ(CountLines(strErr, "SetTalkerRate:"), 1) << strErr;
    }
}

// The switch's strays (the "w"'s echo, its prompt read at the old rate) may come as late as an
// adapter holds them, after the port changed: they are read past, not taken for an answer. The
// sync that goes with the "w" is sent once; without its prompt the sync goes again alone.
TEST_F(ProtocolTest, RateSwitchReadsPastItsStraysAndSyncsOnce) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildCommandFrame(TALKER_WRITE_BYTE, 0x102B, 0x03, pbFrame);
    Bytes frame(pbFrame, pbFrame + FRAME_LENGTH), sync{TALKER_SYNC};
    struct Case {
        int fWithSync;     // SyncAndSetTalkerRate, else SetTalkerRate
        Bytes afterFrame;  // what answers the bytes up to the frame's end
        Bytes wire;        // every byte the host sends, in order
    } cases[] = {
        {0, {}, {}},
        {1, {0xDE, '>', 0xFF, 0xFF}, {}},
        {1, Bytes(8, 'x'), {}},  // no prompt among them: the sync alone, then the "w"
    };
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    cases[0].wire = cat({frame, sync});
    cases[1].wire = cat({sync, frame, sync});
    cases[2].wire = cat({sync, frame, sync, frame, sync});
    for (const Case &c : cases) {
        target.received.clear();
        target.start([&c](FakeTarget &t) {
            t.readBytes(FRAME_LENGTH + (c.fWithSync ? 1 : 0));
            t.writeBytes(c.afterFrame);
            // A sync right after a frame the talker took meets the switch's strays, held back
            // until then; the talker that did not answer the first sync did not take its frame.
            uint8_t byte, last = c.afterFrame.size() == 8 ? 0 : 0x03;
            for (; t.readByte(&byte, 500); last = byte) {
                if (byte == TALKER_SYNC && last == 0x03) t.writeBytes({0x30, 0x00, '>'});
                if (byte == TALKER_SYNC && last != 0x03) t.writeByte('>');
            }
        });
        testing::internal::CaptureStderr();
        int fDone = c.fWithSync ? SyncAndSetTalkerRate(pPort, 0x102B, 0x03, 15625)
                                : SetTalkerRate(pPort, 0x102B, 0x03, 15625);
        std::string strErr = testing::internal::GetCapturedStderr();
        target.join();
        EXPECT_EQ(fDone, 1) << strErr;
        EXPECT_EQ(strErr, "");
        EXPECT_EQ(target.received, c.wire);
    }
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
        linkTarget.wEepromStart = c.wStart;
        linkTarget.wEepromEnd = c.wEnd;
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

int CountLines(const std::string &text, const std::string &prefix) {
    int count = 0;
    for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at++) {
        if (at == 0 || text[at - 1] == '\n') count++;
    }
    return count;
}

// The bytes the trace shows read: one read traces all it got on one line ("Read:" then "%02X "
// for each).
int CountTracedReadBytes(const std::string &text) {
    int count = 0;
    for (size_t at = 0; (at = text.find("Read:", at)) != std::string::npos; at++)
        count += int(text.find('\n', at) - at - 5) / 3;
    return count;
}

class ProtocolOnSim : public SimLinkTest {
  protected:
    uint64_t Received() const { return sim->stats().rxBytes; }
};

TEST_F(ProtocolOnSim, SyncDiscardsStaleBytesAndSucceedsAtOnce) {
    StartTalkerInSim(sim.get());  // its start-up prompt and two more wait unread
    sim->hostSend({'s', 's'}, 9600);
    sim->runUntilWaiting(1'000'000);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Received(), 3u) << "one sync only";
    uint8_t bByte;
    uint32_t dwRead = 0;
    EXPECT_TRUE(ReadPort(pPort, &bByte, 1, 100, &dwRead));
    EXPECT_EQ(dwRead, 0u) << "nothing left over to be taken for a later answer";
}

// A chip whose boot ROM waits for its first character is silent.
TEST_F(ProtocolOnSim, PromptWithoutSyncAgainstSilenceReadsOnce) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetPrompt(pPort, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "GetPrompt: Didn't read a character\n");
    EXPECT_EQ(Received(), 0u) << "nothing may be sent without sync";
    EXPECT_GE(sim->cycles(), 2 * 2'000'000u) << "the read waited out its time-out";
}

// The value read back is not checked: a cell outside the memory map reads back something else.
TEST_F(ProtocolOnSim, WriteTargetByteFrameAndUncheckedReadBack) {
    StartTalker();
    EXPECT_EQ(WriteTargetByte(pPort, 0x1035, 0x10), 1);
    EXPECT_EQ(Received(), 5u);
    ASSERT_FALSE(sim->registerWrites().empty());
    EXPECT_EQ(sim->registerWrites().back().address, 0x1035);
    EXPECT_EQ(sim->registerWrites().back().value, 0x10);
    EXPECT_EQ(WriteTargetByte(pPort, 0x2000, 0x5A), 1);
    EXPECT_NE(sim->peek(0x2000), 0x5A);
}

TEST_F(ProtocolOnSim, BulkEraseSendsTheConfigValueAndReadsOnlyThePrompt) {
    linkTarget.bConfigValue = 0xF5;
    linkTarget.wEepromStart = 0xB600;  // the frame's address does not follow the range
    StartTalkerForWrites(0x00);
    ASSERT_TRUE(sim->poke(0xF900, 0x12));
    StartTracing();
    testing::internal::CaptureStderr();
    EXPECT_EQ(BulkErase(&link), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "BulkErase\nWrite:42 \nWrite:F8 \nWrite:00 \nWrite:00 \nWrite:F5 \nRead:3E \n");
    EXPECT_EQ(sim->stats().eeprom.bulkErase, 1u);
    EXPECT_EQ(sim->peek(0xF900), 0xFF);
}

TEST_F(ProtocolOnSim, ThirtyByteRecordWrites35AndReads31) {
    OpenLink(WithExternalRam());
    StartTalkerForWrites();
    StartTracing();
    SRecord record = MakeRecord(0x2000, 30);
    uint32_t dwMismatches = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteSRecord(&link, &record, &dwMismatches), 1);
    EXPECT_EQ(dwMismatches, 0u);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(strErr.rfind("WriteSRecord(1e bytes)\nWrite:57 \nWrite:20 \nWrite:00 \nWrite:00 "
                           "\nWrite:1E \n",
                           0),
              0u)
        << strErr;
    EXPECT_EQ(CountLines(strErr, "Write:"), 35);
    EXPECT_EQ(CountTracedReadBytes(strErr), 31);
    EXPECT_EQ(sim->peek(0x201D), 0xA0 + 29);
}

TEST_F(ProtocolOnSim, ByteThatDoesNotTakeItsValueIsReportedAndCounted) {
    hc11::SimConfig config;
    config.faults.push_back({hc11::FaultKind::Stuck, 0xF802});
    OpenLink(config);
    StartTalkerForWrites();
    uint32_t dwMismatches = 0;
    SRecord record = MakeRecord(0xF800, 4);
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteSRecord(&link, &record, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WriteSRecord: $F802 (byte 2 of the record at $F800) wrote A2, read back FF\n");
    EXPECT_EQ(dwMismatches, 1u);
    EXPECT_EQ(sim->peek(0xF803), 0xA3);
}

// Each command's frame as the talker reads it: its letter (the talker's own, written here
// again), the address, then the count or the value, high bytes first; 65536 bytes go as a
// count of 0, and the bulk erase always names $F800.
TEST(CommandFrames, CarryTheLetterAddressAndCountHighBytesFirst) {
    struct Case {
        TalkerCommand eCommand;
        uint16_t wAddress;
        uint32_t dwArgument;
        Bytes frame;
    } cases[] = {
        {TALKER_READ_BYTE, 0x1039, 0, {'r', 0x10, 0x39, 0x00, 0x00}},
        {TALKER_WRITE_BYTE, 0x1035, 0x10, {'w', 0x10, 0x35, 0x00, 0x10}},
        {TALKER_PROGRAM_BYTE, 0xF9AB, 0x3C, {'p', 0xF9, 0xAB, 0x00, 0x3C}},
        {TALKER_WRITE_BLOCK, 0x2000, 0x1E, {'W', 0x20, 0x00, 0x00, 0x1E}},
        {TALKER_PROGRAM_BLOCK, 0xF800, 0x0800, {'P', 0xF8, 0x00, 0x08, 0x00}},
        {TALKER_READ_BLOCK, 0xF87E, 65536, {'R', 0xF8, 0x7E, 0x00, 0x00}},
        {TALKER_BULK_ERASE, 0xB600, 0xF5, {'B', 0xF8, 0x00, 0x00, 0xF5}},
    };
    for (const Case &c : cases) {
        Bytes frame(FRAME_LENGTH);
        BuildCommandFrame(c.eCommand, c.wAddress, c.dwArgument, frame.data());
        EXPECT_EQ(frame, c.frame) << c.frame[0];
    }
}

TEST(InEepromRange, BothBoundsAreInside) {
    static LinkTarget target;
    static TalkerLink link;
    StartTestLink(&link, &target, 1, "");
    EXPECT_EQ(InEepromRange(&link, 0xF7FF), 0);
    EXPECT_EQ(InEepromRange(&link, 0xF800), 1);
    EXPECT_EQ(InEepromRange(&link, 0xFFFF), 1);
    target.wEepromStart = target.wEepromEnd = 0xB600;
    EXPECT_EQ(InEepromRange(&link, 0xB5FF), 0);
    EXPECT_EQ(InEepromRange(&link, 0xB600), 1);
    EXPECT_EQ(InEepromRange(&link, 0xB601), 0);
}

}  // namespace
