#include "part_table.h"

#include <ctype.h>
#include <string.h>

namespace {

// Facts from the parts' data sheets and reference manual, one function per row, each field by
// its name. Where the documentation leaves a fact open, pszNotes says what the row chose. A
// part that is another with a difference (its ROM off, more RAM) starts from that part's row.

const uint16_t REGISTER_BLOCK_BYTES = 64;
const uint16_t F1_REGISTER_BLOCK_BYTES = 96;

// The fields every part of the table shares: the 64-byte register block at $1000, RAM from
// $0000 with the stack at its top, and a mask that ignores NOSEC.
constexpr PartInfo MakeRow(const char *pszName, uint16_t wRamEnd) {
    PartInfo part = {};
    part.pszName = pszName;
    part.wRamStart = 0x0000;
    part.wRamEnd = wRamEnd;
    part.wRegisterStart = 0x1000;
    part.wRegisterEnd = part.wRegisterStart + REGISTER_BLOCK_BYTES - 1;
    part.wStackTop = wRamEnd;
    part.fSecurityMask = 0;
    return part;
}

// BPROT's blocks of the 512-byte EEPROM: 32, 64, 128 and 288 bytes.
constexpr void SetE9BprotBlocks(PartInfo *pPart) {
    pPart->fHasBprot = 1;
    pPart->awBprotBlockStart[0] = 0x000;
    pPart->awBprotBlockStart[1] = 0x020;
    pPart->awBprotBlockStart[2] = 0x060;
    pPart->awBprotBlockStart[3] = 0x0E0;
}

// The EEPROM and ROM of the E9 and A8 families: 512 bytes of EEPROM at $B600, where the break
// jump goes, ROMON decoded, CONFIG $0F after a bulk erase and as shipped.
constexpr void SetB600Eeprom(PartInfo *pPart) {
    pPart->wEepromStart = 0xB600;
    pPart->wEepromEnd = 0xB7FF;
    pPart->bConfigBits = CONFIG_NOSEC | CONFIG_NOCOP | CONFIG_ROMON | CONFIG_EEON;
    pPart->bConfigAfterErase = 0x0F;
    pPart->bConfigShipped = 0x0F;
    pPart->wBreakJump = 0xB600;
}

constexpr PartInfo Make811E2() {
    PartInfo part = MakeRow("811E2", 0x00FF);
    part.pszAlias = "E2";
    part.wEepromStart = 0xF800;
    part.wEepromEnd = 0xFFFF;
    part.fEepromMovable = 1;
    part.fHasBprot = 1;
    part.awBprotBlockStart[0] = 0x000;
    part.awBprotBlockStart[1] = 0x200;
    part.awBprotBlockStart[2] = 0x400;
    part.awBprotBlockStart[3] = 0x600;
    part.bConfigAfterErase = 0xF5;
    part.bConfigShipped = 0xFF;
    // No ROM: ROMON has nothing to switch.
    part.bConfigBits = CONFIG_EEPROM_BLOCK | CONFIG_NOSEC | CONFIG_NOCOP | CONFIG_EEON;
    part.wBootLoadMax = 256;
    part.fVariableLoad = 0;
    part.wBreakJump = 0xF800;
    part.f55JumpsToRam = 1;
    part.pszNotes =
        "2 KB EEPROM at $x800, x = CONFIG bits 7-4. A bulk erase programs CONFIG $F5, the value "
        "the tool has always used (NOSEC clear: a part whose mask honours security would secure "
        "itself); $FF would keep the EEPROM at $F800 with NOSEC set. Shipped erased ($FF).";
    return part;
}

constexpr PartInfo MakeE9() {
    PartInfo part = MakeRow("E9", 0x01FF);
    SetB600Eeprom(&part);
    SetE9BprotBlocks(&part);
    part.wBootLoadMax = 512;
    part.fVariableLoad = 1;
    part.pszNotes =
        "Chosen: CONFIG $0F after a bulk erase (NOSEC, NOCOP, ROMON, EEON set). The 12 KB mask "
        "ROM is not modelled.";
    return part;
}

// An E9 with its ROM off.
constexpr PartInfo MakeE1() {
    PartInfo part = MakeE9();
    part.pszName = "E1";
    part.bConfigAfterErase = 0x0D;
    part.bConfigShipped = 0x0D;
    part.pszNotes = "An E9 with its ROM off. Chosen: CONFIG $0D after a bulk erase (ROMON clear).";
    return part;
}

// An E9 with 768 bytes of RAM, all of it loadable.
constexpr PartInfo MakeE20() {
    PartInfo part = MakeE9();
    part.pszName = "E20";
    part.wRamEnd = part.wStackTop = 0x02FF;
    part.wBootLoadMax = 768;
    part.pszNotes =
        "Chosen as the E9: BPROT present with the E9's blocks, CONFIG $0F after a bulk erase, a "
        "variable load of up to 768 bytes (its whole RAM).";
    return part;
}

constexpr PartInfo MakeA8() {
    PartInfo part = MakeRow("A8", 0x00FF);
    SetB600Eeprom(&part);
    part.fHasBprot = 0;
    part.wBootLoadMax = 256;
    part.fVariableLoad = 0;
    part.f55JumpsToRam = 1;
    part.pszNotes =
        "No BPROT: the EEPROM is never block-protected, and $1035 is a reserved location.";
    return part;
}

// An A8 with its ROM off.
constexpr PartInfo MakeA1() {
    PartInfo part = MakeA8();
    part.pszName = "A1";
    part.bConfigAfterErase = 0x0D;
    part.bConfigShipped = 0x0D;
    part.pszNotes = "An A8 with its ROM off: CONFIG $0D. No BPROT.";
    return part;
}

constexpr PartInfo MakeF1() {
    PartInfo part = MakeRow("F1", 0x03FF);
    part.wRegisterEnd = part.wRegisterStart + F1_REGISTER_BLOCK_BYTES - 1;
    part.wEepromStart = 0xFE00;
    part.wEepromEnd = 0xFFFF;
    // No ROM; the EEPROM taken as fixed, so its block bits are not decoded.
    part.bConfigBits = CONFIG_NOSEC | CONFIG_NOCOP | CONFIG_EEON;
    SetE9BprotBlocks(&part);
    part.bConfigAfterErase = 0xFF;
    part.bConfigShipped = 0xFF;
    part.wBootLoadMax = 1024;
    part.fVariableLoad = 1;
    part.wBreakJump = 0xFE00;
    part.bSync9600 = 0xF0;
    part.pszNotes =
        "Chosen: CONFIG $FF after a bulk erase (EEPROM on, COP off, no security); the EEPROM is "
        "taken as fixed at $FE00, BPROT's blocks as the E9's. A first $F0 loads at 9600 baud "
        "(E = 2 MHz), $FD at the slow rate as any ordinary first character.";
    return part;
}

constexpr PartInfo kParts[] = {Make811E2(), MakeE9(), MakeE1(), MakeE20(),
                               MakeA8(),    MakeA1(), MakeF1()};

const unsigned PART_COUNT = sizeof kParts / sizeof kParts[0];

// strncasecmp is not in every C library the host tool is built with.
int SameLetters(const char *pszA, const char *pszB, size_t dwLength) {
    for (size_t i = 0; i < dwLength; i++) {
        if (tolower((unsigned char)pszA[i]) != tolower((unsigned char)pszB[i])) return 0;
        if (pszA[i] == '\0') return 1;
    }
    return 1;
}

// Skips a leading "MC", "M", then "68HC11" or "68HC", as part numbers are often written.
const char *SkipFamilyPrefix(const char *pszName) {
    static const char *const apszPrefixes[] = {"MC68HC11", "MC68HC", "M68HC11",
                                               "M68HC",    "68HC11", "68HC"};
    for (const char *pszPrefix : apszPrefixes) {
        size_t dwLength = strlen(pszPrefix);
        if (SameLetters(pszName, pszPrefix, dwLength) && pszName[dwLength] != '\0')
            return pszName + dwLength;
    }
    return pszName;
}

int NameMatches(const PartInfo *pPart, const char *pszName) {
    size_t dwLength = strlen(pszName) + 1;  // the terminators must meet too
    if (SameLetters(pPart->pszName, pszName, dwLength)) return 1;
    return pPart->pszAlias && SameLetters(pPart->pszAlias, pszName, dwLength);
}

}  // namespace

const PartInfo *FindPart(const char *pszName) {
    if (!pszName) return 0;
    const char *pszShort = SkipFamilyPrefix(pszName);
    for (unsigned i = 0; i < PART_COUNT; i++)
        if (NameMatches(&kParts[i], pszName) || NameMatches(&kParts[i], pszShort))
            return &kParts[i];
    return 0;
}

const PartInfo *GetDefaultPart(void) {
    return &kParts[0];
}

unsigned GetPartCount(void) {
    return PART_COUNT;
}

const PartInfo *GetPartByIndex(unsigned dwIndex) {
    return dwIndex < PART_COUNT ? &kParts[dwIndex] : 0;
}

uint16_t GetEepromStart(const PartInfo *pPart, uint8_t bConfig) {
    if (!pPart->fEepromMovable) return pPart->wEepromStart;
    return uint16_t(((bConfig & CONFIG_EEPROM_BLOCK) << 8) | (pPart->wEepromStart & 0x0FFF));
}

uint16_t GetEepromEnd(const PartInfo *pPart, uint8_t bConfig) {
    return uint16_t(GetEepromStart(pPart, bConfig) + (pPart->wEepromEnd - pPart->wEepromStart));
}

uint16_t GetRegisterAddress(const PartInfo *pPart, uint8_t bOffset) {
    return (uint16_t)(pPart->wRegisterStart + bOffset);
}
