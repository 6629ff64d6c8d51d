// The one decoding of a hexadecimal digit, for every reader of hexadecimal text: the S-record
// and Intel HEX lines, the command line's addresses and values, hc11sim's options.
#pragma once

// 0 to 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character.
int HexDigitValue(char ch);
