// S-record text: one line parsed into an SRecord, and the reverse, bytes written as S1 lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Room for the data bytes of one record: a count of 255 ($FF) less an S1's address and
// checksum bytes.
enum { SRECORD_DATA_ROOM = 252 };

// One parsed record. The caller owns it and reuses it for every line.
struct SRecord {
    uint16_t wType;     // the type digit: 0, 1, 2, 3, 5, 6, 7, 8 or 9 after a successful parse
    uint16_t wAddress;  // the address field; S2, S3, S7 and S8 keep its low 16 bits
    uint16_t wLength;   // the number of data bytes: count less the address and checksum bytes
    uint8_t bData[SRECORD_DATA_ROOM];
};

// Parses one line (with or without its line end) into *pRecord. The address field is 4, 6
// or 8 digits wide by type (S2/S6/S8 6, S3/S7 8). An S2 or S3 record with a byte beyond
// $FFFF is refused, naming its address: this is a 16-bit target. The checksum and anything
// after it are not read here (see srec_file.h for the whole-line checks).
// Returns 1 for a record whose fields convert, 0 otherwise after one message on standard
// error (a line that does not begin with 'S' or 's' fails silently).
int ParseSRecordString(const char *pszLine, SRecord *pRecord);

// Whether the record carries data for the target (S1, S2, S3); the others are passed over.
int IsDataRecord(const SRecord *pRecord);

// The number of address bytes a record of this type holds: 2, 3 or 4 (0 for no such type).
unsigned AddressBytesOfType(unsigned dwType);

// Longest S1 line the writer makes: "S1", count, address, 252 data bytes, checksum, terminator.
enum { SRECORD_MAX_DATA_PER_LINE = 252, SRECORD_LINE_ROOM = 2 + 2 + 4 + 2 * 252 + 2 + 1 };

// Formats an S1 record of dwLength data bytes (at most 252) at wAddress into pszLine
// (no line end, upper-case digits, correct count and checksum). Returns 1, or 0 when
// dwLength is too large or the text does not fit cchLine.
int FormatS1Record(uint16_t wAddress, const uint8_t *pbData, size_t dwLength, char *pszLine,
                   size_t cchLine);

// Formats an S0 header record whose data is the text pszText (at most 252 characters).
// Returns 1, or 0 when the text is too long or the record does not fit cchLine.
int FormatS0Record(const char *pszText, char *pszLine, size_t cchLine);

// Formats the S9 end record for wAddress ("S9030000FC" for 0). Returns 1, or 0 if it does not fit.
int FormatS9Record(uint16_t wAddress, char *pszLine, size_t cchLine);

// Writes dwLength bytes starting at wAddress as S1 lines of at most dwPerLine data bytes each,
// each followed by "\n"; addresses wrap from $FFFF to $0000. Returns 1, or 0 on a write error.
int WriteS1Lines(FILE *pFile, uint16_t wAddress, const uint8_t *pbData, size_t dwLength,
                 size_t dwPerLine);
