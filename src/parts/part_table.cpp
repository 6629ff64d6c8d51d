#include "part_table.h"

#include <ctype.h>
#include <string.h>

namespace {

// Facts from the parts' data sheets and reference manual. Where the documentation leaves a
// fact open, pszNotes says what the row chose.
// One row per part, in the field order of PartInfo:
//   name, alias, RAM, registers, EEPROM (CONFIG erased), movable, BPROT, BPROT blocks,
//   CONFIG after erase, CONFIG shipped, boot load max, variable load, $00 jump, $55 to RAM,
//   security mask, stack top, notes
// clang-format off
const PartInfo kParts[] = {
    {"811E2", "E2", 0x0000, 0x00FF, 0x1000, 0x103F, 0xF800, 0xFFFF, 1, 1,
     {0x000, 0x200, 0x400, 0x600}, 0xF5, 0xFF, 256, 0, 0xF800, 1, 0, 0x00FF,
     "2 KB EEPROM at $x800, x = CONFIG bits 7-4. A bulk erase programs CONFIG $F5, the value "
     "the tool has always used (NOSEC clear: a part whose mask honours security would secure "
     "itself); $FF would keep the EEPROM at $F800 with NOSEC set. Shipped erased ($FF)."},
    {"E9", 0, 0x0000, 0x01FF, 0x1000, 0x103F, 0xB600, 0xB7FF, 0, 1,
     {0x000, 0x020, 0x060, 0x0E0}, 0x0F, 0x0F, 512, 1, 0xB600, 0, 0, 0x01FF,
     "Chosen: CONFIG $0F after a bulk erase (NOSEC, NOCOP, ROMON, EEON set). The 12 KB mask "
     "ROM is not modelled."},
    {"E1", 0, 0x0000, 0x01FF, 0x1000, 0x103F, 0xB600, 0xB7FF, 0, 1,
     {0x000, 0x020, 0x060, 0x0E0}, 0x0D, 0x0D, 512, 1, 0xB600, 0, 0, 0x01FF,
     "An E9 with its ROM off. Chosen: CONFIG $0D after a bulk erase (ROMON clear)."},
    {"E20", 0, 0x0000, 0x02FF, 0x1000, 0x103F, 0xB600, 0xB7FF, 0, 1,
     {0x000, 0x020, 0x060, 0x0E0}, 0x0F, 0x0F, 768, 1, 0xB600, 0, 0, 0x02FF,
     "Chosen as the E9: BPROT present with the E9's blocks, CONFIG $0F after a bulk erase, a "
     "variable load of up to 768 bytes (its whole RAM)."},
    {"A8", 0, 0x0000, 0x00FF, 0x1000, 0x103F, 0xB600, 0xB7FF, 0, 0,
     {0, 0, 0, 0}, 0x0F, 0x0F, 256, 0, 0xB600, 1, 0, 0x00FF,
     "No BPROT: the EEPROM is never block-protected, and $1035 is a reserved location."},
    {"A1", 0, 0x0000, 0x00FF, 0x1000, 0x103F, 0xB600, 0xB7FF, 0, 0,
     {0, 0, 0, 0}, 0x0D, 0x0D, 256, 0, 0xB600, 1, 0, 0x00FF,
     "An A8 with its ROM off: CONFIG $0D. No BPROT."},
    {"F1", 0, 0x0000, 0x03FF, 0x1000, 0x105F, 0xFE00, 0xFFFF, 0, 1,
     {0x000, 0x020, 0x060, 0x0E0}, 0xFF, 0xFF, 1024, 1, 0xFE00, 0, 0, 0x03FF,
     "Chosen: CONFIG $FF after a bulk erase (EEPROM on, COP off, no security); the EEPROM is "
     "taken as fixed at $FE00, BPROT's blocks as the E9's."},
};
// clang-format on

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

namespace {

// 9600 is 2 MHz / (16 x 13): 9615 baud, within 0.2 %; the others are exact.
const SciRate kSciRates[] = {
    {9600, 0x30},    // SCP1:SCP0 = 11 (/13), SCR = 000 (/1)
    {15625, 0x03},   // /1, /8
    {31250, 0x02},   // /1, /4
    {62500, 0x01},   // /1, /2
    {125000, 0x00},  // /1, /1: E / 16, the SCI's fastest
};

}  // namespace

const SciRate *GetSciRateByIndex(unsigned dwIndex) {
    return dwIndex < sizeof(kSciRates) / sizeof(kSciRates[0]) ? &kSciRates[dwIndex] : 0;
}

const SciRate *FindSciRate(uint32_t dwRate) {
    for (const SciRate &rate : kSciRates) {
        if (rate.dwRate == dwRate) return &rate;
    }
    return 0;
}
