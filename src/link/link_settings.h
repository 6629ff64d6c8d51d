// What the link layer takes from the user's choices. The entry fills it once after the
// command line is read; the link reads it and knows nothing of the command line itself.
#pragma once

#include <cstdint>

enum { LINK_DEVICE_ROOM = 260 };  // room for 259 characters and the terminator

struct LinkSettings {
    uint32_t fVerbose;        // trace every byte on standard error
    uint32_t dwTalkerLength;  // the most bytes the boot ROM loads: a fixed load takes all
    uint32_t fVariableLoad;   // the ROM also ends the load after 4 idle character times
    uint8_t bConfigValue;     // what the bulk erase programs into CONFIG
    uint16_t wEepromStart;    // the EEPROM range, both ends included
    uint16_t wEepromEnd;
    uint32_t dwTalkerRate;            // the line rate the talker runs at once it answers
    char szDevice[LINK_DEVICE_ROOM];  // a device opened instead of the COM number, or empty
};

extern LinkSettings g_LinkSettings;

// Puts every field back to its default (the state at process start).
void ResetLinkSettings(void);
