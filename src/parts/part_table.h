// The 68HC11 parts this system knows: one row of facts per chip, read by hc11prog (which
// range is EEPROM, what CONFIG a bulk erase programs back, how long the boot load is) and by
// hc11sim (the memory map and the boot ROM it models). A fact about a part lives here and
// nowhere else. Plain data, usable from C: addresses are 16-bit, flags are 0 or 1.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PartInfo {
    const char *pszName;   // the name the user gives ("811E2", "E9", ...)
    const char *pszAlias;  // another accepted name, or 0
    uint16_t wRamStart, wRamEnd;
    uint16_t wRegisterStart, wRegisterEnd;
    // The EEPROM array with CONFIG erased; a movable block's start follows CONFIG's bits 7-4
    // (see GetEepromStart).
    uint16_t wEepromStart, wEepromEnd;
    uint32_t fEepromMovable;
    uint32_t fHasBprot;  // BPROT guards the array and CONFIG
    // Where the blocks that BPRT0-BPRT3 guard begin, counted from the array's start.
    uint16_t awBprotBlockStart[4];
    uint8_t bConfigAfterErase;  // what a bulk erase should program back into CONFIG
    uint8_t bConfigShipped;     // CONFIG as the part is delivered
    uint8_t bConfigBits;        // the CONFIG bits the part has (CONFIG_*), as its manual lists
    uint16_t wBootLoadMax;      // the most bytes the boot ROM loads into RAM
    uint32_t fVariableLoad;     // the load also ends after 4 idle character times
    uint16_t wBreakJump;        // where the boot ROM jumps on a first $00 or break
    uint32_t f55JumpsToRam;     // a first $55 at 7812 baud jumps to $0000 without a load
    uint8_t bSync9600;          // a first character that has the load run at E / 208 (9600
                                // baud at E = 2 MHz), or 0 where the ROM knows none
    uint32_t fSecurityMask;     // the mask honours NOSEC = 0 (standard parts do not)
    uint16_t wStackTop;         // SP when the loaded program starts: the top of RAM
    const char *pszNotes;       // what the row chose where the documentation is open
} PartInfo;

// CONFIG's bits, where the part has them.
enum {
    CONFIG_EEPROM_BLOCK = 0xF0,  // EE3-EE0 on a movable EEPROM: the block's top address bits
    CONFIG_NOSEC = 0x08,
    CONFIG_NOCOP = 0x04,
    CONFIG_ROMON = 0x02,
    CONFIG_EEON = 0x01
};

// The part named pszName (case-insensitive, a leading "MC68HC", "68HC11" or "68HC" allowed:
// "811E2", "E2", "mc68hc11e9"), or 0 when there is none.
const PartInfo *FindPart(const char *pszName);

// The part used when none is named: the 811E2.
const PartInfo *GetDefaultPart(void);

// The parts in table order, for usage texts: index from 0 to GetPartCount() - 1.
unsigned GetPartCount(void);
const PartInfo *GetPartByIndex(unsigned dwIndex);

// The address of the register at bOffset (hc11_registers.h) in the part's register block.
uint16_t GetRegisterAddress(const PartInfo *pPart, uint8_t bOffset);

// Where the EEPROM array starts and ends with this CONFIG value in force.
uint16_t GetEepromStart(const PartInfo *pPart, uint8_t bConfig);
uint16_t GetEepromEnd(const PartInfo *pPart, uint8_t bConfig);

#ifdef __cplusplus
}
#endif
