// The one decoding of a hexadecimal digit, for every reader of hexadecimal text: the S-record
// and Intel HEX lines, the command line's addresses and values, hc11sim's options.
#pragma once

#include <cstdint>

// 0 to 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character.
int HexDigitValue(char ch);

// Hexadecimal digits (an "0x" before them allowed) up to dwMax, from *ppch, as the command
// line takes an address or a value; *ppch moves past them. Returns 0 when there is no digit
// or the value passes dwMax.
int ReadHexNumber(const char **ppch, uint32_t dwMax, uint32_t *pdwValue);
