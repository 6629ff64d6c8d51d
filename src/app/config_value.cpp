#include "config_value.h"

#include <cstdio>

#include "say.h"

namespace {

// What a bit means from the next reset on, set and clear. NOSEC clear is told apart: what it
// does depends on the part's mask.
struct ConfigBit {
    uint8_t bMask;
    const char *pszName;
    const char *pszSet;
    const char *pszClear;
};

const ConfigBit g_rgConfigBits[] = {
    {CONFIG_NOSEC, "NOSEC", "security off", NULL},
    {CONFIG_NOCOP, "NOCOP", "the COP watchdog stays off",
     "the COP watchdog runs: the program must service it or the chip resets"},
    {CONFIG_ROMON, "ROMON", "the ROM is on", "the ROM is off"},
    {CONFIG_EEON, "EEON", "the EEPROM is on", "the EEPROM is off: it leaves the memory map"},
};

int HasBits(const PartInfo *pPart, uint8_t bMask) {
    return (pPart->bConfigBits & bMask) == bMask;
}

int IsSet(uint8_t bConfig, uint8_t bMask) {
    return (bConfig & bMask) != 0;
}

// "CONFIG $F5 for the 811E2: EE3-EE0 F (EEPROM at $F800-$FFFF), NOSEC 0, NOCOP 1, EEON 1".
void PrintDecodedValue(const PartInfo *pPart, uint8_t bConfig) {
    SayOut("CONFIG $%02X for the %s:", bConfig, pPart->pszName);
    const char *pszSeparator = " ";
    if (HasBits(pPart, CONFIG_EEPROM_BLOCK)) {
        SayOut(" EE3-EE0 %X (EEPROM at $%04X-$%04X)", bConfig >> 4, GetEepromStart(pPart, bConfig),
               GetEepromEnd(pPart, bConfig));
        pszSeparator = ", ";
    }
    for (const ConfigBit &bit : g_rgConfigBits) {
        if (!HasBits(pPart, bit.bMask)) continue;
        SayOut("%s%s %d", pszSeparator, bit.pszName, IsSet(bConfig, bit.bMask));
        pszSeparator = ", ";
    }
    SayOut("\n");
}

// One line for each choice that differs from the part's default, and the warning for NOSEC
// clear, the default's too: the tool can't know whether the mask honours it.
void PrintChoices(const PartInfo *pPart, uint8_t bConfig) {
    uint8_t bChanged = bConfig ^ pPart->bConfigAfterErase;
    if (HasBits(pPart, CONFIG_EEPROM_BLOCK) && (bChanged & CONFIG_EEPROM_BLOCK)) {
        SayOut("  EE3-EE0 %X: from the next reset, the EEPROM is at $%04X-$%04X\n", bConfig >> 4,
               GetEepromStart(pPart, bConfig), GetEepromEnd(pPart, bConfig));
    }
    for (const ConfigBit &bit : g_rgConfigBits) {
        int fSet = IsSet(bConfig, bit.bMask);
        const char *pszMeaning = fSet ? bit.pszSet : bit.pszClear;
        if (!HasBits(pPart, bit.bMask) || !(bChanged & bit.bMask) || pszMeaning == NULL) continue;
        SayOut("  %s %d: from the next reset, %s\n", bit.pszName, fSet, pszMeaning);
    }
    if (HasBits(pPart, CONFIG_NOSEC) && !IsSet(bConfig, CONFIG_NOSEC)) {
        SayOut(
            "  NOSEC 0: on a part whose mask honours NOSEC, security on at the next reset: "
            "the boot ROM will erase the EEPROM and RAM (standard masks ignore NOSEC)\n");
    }
}

// The part's own default needs no confirmation, so that "-B" alone keeps working as it always
// has (the 811E2's $F5 has NOSEC clear); any other value that turns security on or the EEPROM
// off was typed on purpose or by mistake, and only the user can say which.
const char *ConfirmationReason(const PartInfo *pPart, uint8_t bConfig) {
    if (bConfig == pPart->bConfigAfterErase) return NULL;
    int fSecure = HasBits(pPart, CONFIG_NOSEC) && !IsSet(bConfig, CONFIG_NOSEC);
    int fNoEeprom = HasBits(pPart, CONFIG_EEON) && !IsSet(bConfig, CONFIG_EEON);
    if (fSecure && fNoEeprom)
        return "turns security on (NOSEC clear) and the EEPROM off (EEON clear)";
    if (fSecure) return "turns security on (NOSEC clear)";
    if (fNoEeprom) return "turns the EEPROM off (EEON clear)";
    return NULL;
}

}  // namespace

void PrintConfigValue(const PartInfo *pPart, uint8_t bConfig) {
    PrintDecodedValue(pPart, bConfig);
    PrintChoices(pPart, bConfig);
}

int IsConfigValueAllowed(const PartInfo *pPart, uint8_t bConfig, int fConfirmed) {
    const char *pszReason = ConfirmationReason(pPart, bConfig);
    if (pszReason == NULL || fConfirmed) return 1;
    PrintConfigValue(pPart, bConfig);
    SayErr(
        "CONFIG $%02X is not the %s's default ($%02X) and %s: give --confirm-config to "
        "program it\n",
        bConfig, pPart->pszName, pPart->bConfigAfterErase, pszReason);
    return 0;
}

void ReportConfigProgrammed(uint8_t bConfig) {
    SayOut("CONFIG programmed to $%02X: the chip takes the new value at its next reset\n", bConfig);
}
