// Reading the chip through the talker, and "-n"'s comparison of the chip with a file, against
// the talker on the simulated chip.
#include <gtest/gtest.h>

#include "fake_target.h"
#include "program_image.h"
#include "sim_port.h"
#include "srec_file.h"
#include "srecord.h"
#include "target_read.h"
#include "verify.h"

namespace {

class ReadOnSim : public SimLinkTest {
  protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        StartTalker();
    }
    // The file as the run holds it, read and checked (1 MB: one, static).
    const ProgramImage *Checked(const std::string &text) {
        static const ImageRules kRules = {nullptr, 0, nullptr, 0, "", 0, 0, 0};
        static ProgramImage image;
        std::string path = MakeTempDir() + "/file.s19";
        WriteTextFile(path, text);
        EXPECT_EQ(LoadProgramImage(path.c_str(), &kRules, &image), 1);
        return &image;
    }
};

std::string S1(uint16_t wAddress, const std::vector<uint8_t> &data) {
    char szLine[SRECORD_LINE_ROOM];
    EXPECT_EQ(FormatS1Record(wAddress, data.data(), data.size(), szLine, sizeof(szLine)), 1);
    return std::string(szLine) + "\n";
}

// Each byte as the chip holds it, and the address wraps from $FFFF to $0000.
TEST_F(ReadOnSim, ReadsTheChipsBytesAcrossTheTopOfMemory) {
    for (uint16_t wAddress : {0xFFFC, 0xFFFD, 0xFFFE, 0xFFFF})
        ASSERT_TRUE(sim->poke(wAddress, uint8_t(wAddress)));
    uint8_t rgbRead[8] = {};
    EXPECT_EQ(ReadTargetBytes(&link, 0xFFFC, rgbRead, 8, nullptr, nullptr), 1);
    for (unsigned i = 0; i < 8; i++) EXPECT_EQ(rgbRead[i], sim->peek(uint16_t(0xFFFC + i))) << i;
    EXPECT_EQ(rgbRead[3], 0xFF);
}

TEST_F(ReadOnSim, VerifyListsTheFirstTwentyDifferencesAndCountsTheRest) {
    std::vector<uint8_t> data(32);
    for (unsigned i = 0; i < 32; i++) {
        data[i] = uint8_t(i);
        ASSERT_TRUE(sim->poke(uint16_t(0xF800 + i), uint8_t(i)));
    }
    const ProgramImage *pImage = Checked(S1(0xF800, data));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(VerifyImage(&link, pImage), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "..");

    ASSERT_TRUE(sim->poke(0xF801, 0x7E));
    for (unsigned i = 8; i < 32; i++) ASSERT_TRUE(sim->poke(uint16_t(0xF800 + i), 0xFF));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(VerifyImage(&link, pImage), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "..\n") << "the run says \"Failure\"";
    EXPECT_EQ(strErr.rfind("$F801: file 01, chip 7E\n$F808: file 08, chip FF\n", 0), 0u) << strErr;
    EXPECT_NE(strErr.find("$F81A: file 1A, chip FF\n... and 5 more\n"
                          "25 byte(s) differ: the chip does not hold the file\n"),
              std::string::npos)
        << strErr;
}

// Every error confined to two of a span's bytes and its two check bytes changes the check:
// each pair of places below, with every pair of nonzero changes. Among them the blind spots
// of a sum of sums modulo 256: bit 7 flipped in two bytes an even distance apart, and two
// bytes a whole span apart.
TEST(SpanCheck, CatchesEveryChangeOfTwoBytesInASpan) {
    struct Case {
        const char *name;
        uint32_t dwLength;      // the span's bytes; its check bytes follow at dwLength
        uint32_t rgdwPlace[2];  // the two bytes changed
    } cases[] = {
        {"Neighbours", READ_SPAN, {0, 1}},
        {"EvenDistance", READ_SPAN, {10, 12}},
        {"EightApart", READ_SPAN, {64, 72}},
        {"WholeSpanApart", READ_SPAN, {0, READ_SPAN - 1}},
        {"LastByteAndTheXor", READ_SPAN, {READ_SPAN - 1, READ_SPAN}},
        {"FirstByteAndTheSum", READ_SPAN, {0, READ_SPAN + 1}},
        {"BothCheckBytes", READ_SPAN, {READ_SPAN, READ_SPAN + 1}},
        {"ShortSpan", 3, {0, 2}},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> sent(c.dwLength + SPAN_CHECK_BYTES);
        for (uint32_t i = 0; i < c.dwLength; i++) sent[i] = uint8_t(i * 151 + 7);
        uint16_t wCheck = SpanCheck(sent.data(), c.dwLength);
        sent[c.dwLength] = uint8_t(wCheck >> 8);
        sent[c.dwLength + 1] = uint8_t(wCheck);
        uint32_t dwUnseen = 0;
        for (unsigned bFirst = 1; bFirst < 256; bFirst++) {
            for (unsigned bSecond = 1; bSecond < 256; bSecond++) {
                std::vector<uint8_t> heard = sent;
                heard[c.rgdwPlace[0]] ^= uint8_t(bFirst);
                heard[c.rgdwPlace[1]] ^= uint8_t(bSecond);
                uint16_t wHeard = uint16_t(heard[c.dwLength] << 8 | heard[c.dwLength + 1]);
                dwUnseen += SpanCheck(heard.data(), c.dwLength) == wHeard;
            }
        }
        EXPECT_EQ(dwUnseen, 0u) << c.name;
    }
}

}  // namespace
