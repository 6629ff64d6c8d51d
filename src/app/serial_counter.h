// "--serial ADDR:BYTES" with "--serial-file PATH": each board takes the next free number from
// a counter file that several threads and processes share, and gets it written big-endian in
// BYTES bytes at ADDR.
//
// The counter file holds the next free number in decimal on its first line (blanks around it,
// a CRLF or no line end at all are accepted). Taking a number rewrites that line with the
// number after it, in the file's own line end; any further lines are kept as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "os_files.h"

enum {
    MAX_SERIAL_BYTES = 8,
    SERIAL_COUNTER_ROOM = 4096,  // the longest counter file accepted
    SERIAL_PATH_ROOM = 260,
};

enum SerialTake {
    SERIAL_FAILED = 0,     // the file could not be locked, read or written: its message printed
    SERIAL_TAKEN = 1,      // the number is the board's, and spent whatever happens next
    SERIAL_EXHAUSTED = 2,  // the next number does not fit in the bytes: nothing taken
};

struct SerialCounter {
    char szPath[SERIAL_PATH_ROOM];
    uint32_t dwBytes;
    SharedFile file;
    std::mutex mutex;  // the file lock keeps processes apart, this one the boards' threads
};

// "ADDR:BYTES": ADDR hexadecimal ("0x" allowed) up to FFFF, BYTES decimal 1 to 8, the last
// byte at most FFFF. Returns 0 for anything else, printing nothing.
int ParseSerialSpec(const char *pszValue, uint16_t *pwAddress, uint32_t *pdwBytes);

// The next free number from a counter file's text. Returns 0 when its first line holds no
// decimal number that fits 64 bits.
int ParseSerialCounterText(const char *pch, size_t cch, uint64_t *pqwNext);

// Opens the counter file and checks, before any board is touched, that it can be read and
// written and that it holds a number. Returns 1, or 0 after a message naming the file and the
// reason.
int OpenSerialCounter(SerialCounter *pCounter, const char *pszPath, uint32_t dwBytes);
void CloseSerialCounter(SerialCounter *pCounter);

// Takes the next number for one board and leaves the one after it in the file, under a lock
// held across the read, the write and the flush to the disk. *pqwNumber is the number taken,
// or with SERIAL_EXHAUSTED the one that did not fit.
SerialTake TakeSerialNumber(SerialCounter *pCounter, uint64_t *pqwNumber);

// The reason a board got no number, for its failure and its log record: "serial number 256
// does not fit in 1 byte".
void DescribeSerialExhausted(uint64_t qwNumber, uint32_t dwBytes, char *pszText, size_t cchText);

// Whether qw fits in dwBytes bytes.
int IsSerialNumberInRange(uint64_t qw, uint32_t dwBytes);

// qw big-endian into pb[0..dwBytes).
void EncodeSerialNumber(uint64_t qw, uint32_t dwBytes, uint8_t *pb);
