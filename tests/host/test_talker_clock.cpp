// The link at other crystals: the boot ROM's rates, the talker's rates with their BAUD values
// and its delay passes, worked out here from the reference manual's formulas for each crystal
// (rate = E / (16 x prescaler x divider), passes = ceil(t x E / 17)); and the image the loader
// sends with them.
#include <gtest/gtest.h>

#include <vector>

#include "bootstrap_loader.h"
#include "fake_target.h"
#include "srecord.h"
#include "talker_clock.h"
#include "talker_image.h"
#include "test_link.h"

namespace {

struct ClockCase {
    uint32_t dwCrystalHz;
    uint32_t dwBootSlow, dwBootFast;  // E / 1664 and E / 256, as the port is set
    uint32_t dwFirstRate;
    uint8_t bFirstBaud;
    uint16_t wShort, wLong;  // 10 ms (20 ms with CSEL) and 100 ms
    int fCsel;
    std::vector<uint32_t> rates;  // what -b offers, the first rate first
};

const ClockCase kClocks[] = {
    // 8 MHz: the values the image was built with, and -b's rates as they always were.
    {8000000, 1200, 7812, 9600, 0x30, 1177, 11765, 0, {9600, 15625, 31250, 62500, 125000}},
    // E / 16 = 76800: 9600 is E / 16 / 8 exactly.
    {4915200, 738, 4800, 9600, 0x03, 723, 7229, 0, {9600, 19200, 38400, 76800}},
    // E / 16 = 115200; 9600, 19200 and 38400 through the prescaler's / 3.
    {7372800,
     1107,
     7200,
     9600,
     0x12,
     1085,
     10843,
     0,
     {9600, 14400, 19200, 28800, 38400, 57600, 115200}},
    // 9600 can't be made (11719 and 7812 are 20 % off): 14423 is 14400 within 0.2 %.
    {12000000, 1800, 11718, 14400, 0x30, 1765, 17648, 0, {14400, 23437, 46875, 93750, 187500}},
    {16000000,
     2400,
     15625,
     9600,
     0x31,
     2353,
     23530,
     0,
     {9600, 15625, 19200, 31250, 62500, 125000, 250000}},
    // E = 5 MHz: 9766 is 9600 and 39062 is 38400 within 1.7 %; 100 ms still fits 16 bits.
    {20000000,
     3004,
     19200,
     9600,
     0x05,
     2942,
     29412,
     0,
     {9600, 19200, 38400, 78125, 156250, 312500}},
    // Below E = 1 MHz: CSEL, and 20 ms.
    {3686400, 553, 3600, 9600, 0x11, 1085, 5422, 1, {9600, 14400, 19200, 28800, 57600}},
    // No standard rate near 9600 within 2 %: the SCI's nearest, 7812.5, set exactly.
    {1000000, 150, 976, 7812, 0x01, 295, 1471, 1, {7812, 15625}},
};

TEST(TalkerClock, RatesBaudValuesAndDelayPassesFollowTheCrystal) {
    for (const ClockCase &c : kClocks) {
        SCOPED_TRACE(c.dwCrystalHz);
        TalkerClock clock;
        SetTalkerClock(&clock, c.dwCrystalHz);
        EXPECT_EQ(clock.dwBootSlowRate, c.dwBootSlow);
        EXPECT_EQ(clock.dwBootFastRate, c.dwBootFast);
        EXPECT_EQ(clock.firstRate.dwRate, c.dwFirstRate);
        EXPECT_EQ(clock.firstRate.bBaud, c.bFirstBaud);
        EXPECT_EQ(clock.wShortPasses, c.wShort);
        EXPECT_EQ(clock.wLongPasses, c.wLong);
        EXPECT_EQ(clock.fNeedsCsel, c.fCsel);
        SciRate rgRates[MAX_TALKER_RATES];
        uint32_t dwCount = ListTalkerRates(&clock, rgRates);
        std::vector<uint32_t> listed;
        for (uint32_t i = 0; i < dwCount; i++) {
            listed.push_back(rgRates[i].dwRate);
            double dSci = GetSciRate(clock.dEClockHz, rgRates[i].bBaud);
            EXPECT_NEAR(dSci / rgRates[i].dwRate, 1.0, SCI_RATE_TOLERANCE) << rgRates[i].dwRate;
        }
        EXPECT_EQ(listed, c.rates);
        // The delays are never shorter than asked, and at most one pass longer.
        double dPass = TALKER_DELAY_PASS_CYCLES / clock.dEClockHz;
        double dShort = c.fCsel ? 0.020 : 0.010;
        EXPECT_GE(clock.wShortPasses * dPass, dShort - 1e-12);
        EXPECT_LT((clock.wShortPasses - 1) * dPass, dShort);
        EXPECT_GE(clock.wLongPasses * dPass, 0.100 - 1e-12);
    }
}

// The rates a -b names at 8 MHz keep the BAUD values the talker has always been sent.
TEST(TalkerClock, FastRatesAt8MhzKeepTheirBaudValues) {
    TalkerClock clock;
    SetTalkerClock(&clock, DEFAULT_CRYSTAL_HZ);
    const SciRate kRates[] = {
        {9600, 0x30}, {15625, 0x03}, {31250, 0x02}, {62500, 0x01}, {125000, 0x00}};
    for (const SciRate &expected : kRates) {
        SciRate rate = {0, 0xFF};
        EXPECT_EQ(FindTalkerRate(&clock, expected.dwRate, &rate), 1) << expected.dwRate;
        EXPECT_EQ(rate.bBaud, expected.bBaud) << expected.dwRate;
    }
    SciRate rate;
    for (uint32_t dwRate : {19200u, 115200u, 7812u, 14400u, 0u})
        EXPECT_EQ(FindTalkerRate(&clock, dwRate, &rate), 0) << dwRate;
}

// The probe "s" at the talker's first rate, sampled by a boot ROM at its own (bit centres
// in the ROM's bits times talker rate / ROM rate, in the talker's bits): at 8 and 12 MHz
// (1.23) $F9 or $D9 (b5 on the d6/d7 edge), at 16 MHz (0.615) $8E, at 7.3728 MHz (1.33)
// $D9. At 4.9152 MHz (2.0) every data bit falls on an edge and $FF is possible; at 20 MHz
// (0.5) the stop bit reads low; at 3.6864 and 1 MHz (2.67, 8.0) the start bit is over before
// the ROM verifies it. Those are loaded without a probe.
TEST(TalkerClock, ProbeOnlyWhereTheBootRomReadsItAsAnOrdinaryCharacter) {
    const struct {
        uint32_t dwCrystalHz;
        int fProbe;
    } kCases[] = {{8000000, 1}, {12000000, 1}, {16000000, 1}, {7372800, 1},
                  {4915200, 0}, {20000000, 0}, {3686400, 0},  {1000000, 0}};
    for (const auto &c : kCases) {
        TalkerClock clock;
        SetTalkerClock(&clock, c.dwCrystalHz);
        EXPECT_EQ(ProbeSuitsTalkerClock(&clock, 's'), c.fProbe) << c.dwCrystalHz;
    }
    TalkerClock clock;
    SetTalkerClock(&clock, 12000000);
    EXPECT_EQ(ProbeSuitsTalkerClock(&clock, 0xFF), 0) << "$FF at any faster rate reads $FF";
    EXPECT_EQ(ProbeSuitsTalkerClock(&clock, 0x00), 1)
        << "$00 reads $C0: b6 and b7 on the idle line";
}

std::vector<uint8_t> ImageBytes() {
    std::vector<uint8_t> bytes;
    SRecord record;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (ParseSRecordString(TalkerImage[i], &record) == 1 && record.wType == 1)
            bytes.insert(bytes.end(), record.bData, record.bData + record.wLength);
    }
    return bytes;
}

// The loader sends the image with the crystal's values in their places, the rest unchanged;
// BAUD's test bits stay as the image has them.
TEST(TalkerClock, LoaderSendsTheImagePatchedForTheCrystal) {
    FakeTarget target;
    LinkTarget linkTarget;
    TalkerLink link;
    StartTestLink(&link, &linkTarget, 0, target.path().c_str());
    SetTalkerClock(&linkTarget.clock, 16000000);
    target.start([](FakeTarget &t) {
        uint8_t byte;
        if (!t.readByte(&byte)) return;
        for (int i = 0; i < 256 && t.readByte(&byte); i++) t.writeByte(byte);
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadTalker(&link, linkTarget.clock.dwBootSlowRate, 0), 1);
    testing::internal::GetCapturedStdout();
    target.join();
    std::vector<uint8_t> expected = ImageBytes();
    ASSERT_EQ(expected[TALKER_BAUD_OFFSET] & SCI_BAUD_RATE_BITS, 0x30) << "built for 8 MHz";
    expected[TALKER_BAUD_OFFSET] = uint8_t((expected[TALKER_BAUD_OFFSET] & 0xC8) | 0x31);
    expected[TALKER_SHORT_DELAY_OFFSET] = 0x09;  // 2353
    expected[TALKER_SHORT_DELAY_OFFSET + 1] = 0x31;
    expected[TALKER_LONG_DELAY_OFFSET] = 0x5B;  // 23530
    expected[TALKER_LONG_DELAY_OFFSET + 1] = 0xEA;
    expected.insert(expected.begin(), 0xFF);
    ASSERT_GE(target.received.size(), expected.size());
    EXPECT_EQ(
        std::vector<uint8_t>(target.received.begin(), target.received.begin() + expected.size()),
        expected);
}

}  // namespace
