// The part table: names as users write them, and the rules both programs read from it.
#include <gtest/gtest.h>

#include <string>

#include "part_table.h"

namespace {

TEST(PartTable, FindsEachPartByItsNamesInAnyCase) {
    const std::pair<const char *, const char *> names[] = {
        {"811E2", "811E2"}, {"e2", "811E2"},     {"MC68HC811E2", "811E2"},
        {"68hc11e9", "E9"}, {"E1", "E1"},        {"e20", "E20"},
        {"A8", "A8"},       {"m68hc11a1", "A1"}, {"F1", "F1"}};
    for (const auto &[given, expected] : names) {
        const PartInfo *part = FindPart(given);
        ASSERT_NE(part, nullptr) << given;
        EXPECT_STREQ(part->pszName, expected) << given;
    }
    for (const char *unknown : {"", "E", "E99", "68HC11", "811E", "811E22", "A8 "})
        EXPECT_EQ(FindPart(unknown), nullptr) << '"' << unknown << '"';
    EXPECT_STREQ(GetDefaultPart()->pszName, "811E2");
    EXPECT_EQ(GetPartByIndex(GetPartCount()), nullptr);
}

TEST(PartTable, OnlyThe811E2EepromMovesWithConfig) {
    const PartInfo *e2 = FindPart("811E2");
    EXPECT_EQ(GetEepromStart(e2, 0xFF), 0xF800);
    EXPECT_EQ(GetEepromStart(e2, 0xF5), 0xF800);
    EXPECT_EQ(GetEepromStart(e2, 0x3F), 0x3800);
    EXPECT_EQ(GetEepromEnd(e2, 0x3F), 0x3FFF);
    EXPECT_EQ(GetEepromStart(FindPart("E9"), 0x3F), 0xB600);
    EXPECT_EQ(GetEepromEnd(FindPart("F1"), 0x00), 0xFFFF);
}

// Each row holds together: RAM from $0000 to the stack top, the boot load fits the RAM,
// the EEPROM lies clear of RAM and registers, and a $00 jumps to where the EEPROM starts.
TEST(PartTable, EveryRowIsConsistent) {
    for (unsigned i = 0; i < GetPartCount(); i++) {
        const PartInfo *p = GetPartByIndex(i);
        SCOPED_TRACE(p->pszName);
        EXPECT_EQ(p->wRamStart, 0);
        EXPECT_EQ(p->wStackTop, p->wRamEnd);
        EXPECT_LE(p->wBootLoadMax, p->wRamEnd - p->wRamStart + 1);
        EXPECT_GT(p->wEepromStart, p->wRegisterEnd);
        EXPECT_EQ(p->wBreakJump, p->wEepromStart);
        EXPECT_EQ(p->bConfigAfterErase & CONFIG_EEON, CONFIG_EEON) << "the EEPROM stays on";
        EXPECT_EQ(p->bConfigShipped & CONFIG_EEON, CONFIG_EEON);
        EXPECT_NE(p->pszNotes, nullptr);
    }
}

}  // namespace
