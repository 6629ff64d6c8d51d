// CONFIG as "-B" programs it: told decoded before the chip is touched, refused where it would
// turn security on or the EEPROM off unless the user confirmed it, and told again once
// programmed. CONFIG takes a new value only at the chip's next reset.
#pragma once

#include <cstdint>

#include "part_table.h"

// Prints on standard output the value with the bits the part has decoded, then one line for
// each choice that differs from the part's default and one whenever NOSEC is clear.
void PrintConfigValue(const PartInfo *pPart, uint8_t bConfig);

// Whether the value may be programmed: 1, or 0 after PrintConfigValue and a message on
// standard error naming --confirm-config, for a value other than the part's default that
// turns security on or the EEPROM off when fConfirmed is 0.
int IsConfigValueAllowed(const PartInfo *pPart, uint8_t bConfig, int fConfirmed);

// After the bulk erase: "CONFIG programmed to $xx: the chip takes the new value at its next
// reset".
void ReportConfigProgrammed(uint8_t bConfig);
