// What the user asked for: the command line's record, filled by ParseCommandLine and read by
// the entry, which hands each operation what it needs.
#pragma once

#include <cstdint>

#include "part_table.h"

enum { MAX_FILE_NAME = 260 };     // room for 259 characters and the terminator
enum { MAX_DEVICE_NAMES = 128 };  // the most "-d" one run takes: its most boards

struct Settings {
    uint32_t dwComPort;       // "-c": COM port number
    uint32_t dwTalkerLength;  // the bytes the boot ROM loads after the $FF: the part's
    uint8_t bConfigValue;     // "-C", else the part's: what the bulk erase programs into CONFIG
    uint16_t wEepromStart;    // "-e", else the part's: the EEPROM range, both ends included
    uint16_t wEepromEnd;
    char szInputFile[MAX_FILE_NAME];  // "-i"; "-I" empties it
    char szDevice[MAX_FILE_NAME];     // "-d": serial device used instead of the COM number
    const char *pszProgramName;       // the program name as invoked
    uint32_t fBulkErase;              // "-B"
    uint32_t fExpandedBus;            // "-E"
    uint32_t fVerbose;                // "-V"
    uint32_t fHelpRequested;          // "-h": the parse stopped for the usage, not an error
    uint16_t wReadStart;              // "-r": the range read back, both ends included
    uint16_t wReadEnd;
    uint32_t fReadBack;                // "-r" given
    char szOutputFile[MAX_FILE_NAME];  // "-o": the read-back, as its extension names
    uint32_t fVerifyOnly;              // "-n": compare the chip with the file, write nothing
    uint32_t fListPorts;               // "-l"
    uint32_t dwTalkerRate;             // "-b": the line rate the talker runs at
    const PartInfo *pPart;             // "-p": the chip, the 811E2 unless another is named
    uint32_t dwCrystalHz;              // "-x": the board's crystal; E runs at a quarter of it
    uint32_t dwTalkerRateAsked;        // "-b" as given, 0 if not: checked once "-x" is known
    uint32_t fConfirmConfig;           // "--confirm-config": a CONFIG that needs it may go
    // What the user named explicitly: a part's defaults do not override it, whichever comes
    // first.
    uint32_t fEepromRangeGiven;
    uint32_t fConfigGiven;
    // The board's lines and the loop from reset to the running program (board_loop.h).
    uint32_t dwResetLine;       // "--reset-line": PORT_LINE_DTR or PORT_LINE_RTS, 0 for none
    uint32_t dwModeLine;        // "--mode-line": the line that pulls MODA and MODB low
    uint32_t fInvertLines;      // "--invert-lines": a line holds its pin low while released
    uint32_t fRun;              // "--run": reset into the program after the run
    uint32_t dwWaitSeconds;     // "--wait": how long to wait for a reset by hand, 0 for not
    uint32_t fMonitor;          // "--monitor": watch the port after the run, or alone
    uint32_t dwMonitorRate;     // its rate, 9600 unless given
    uint32_t fMonitorRaw;       // "--raw": the chip's bytes as they are
    uint32_t dwMonitorSeconds;  // "--monitor-for": the monitor's length, 0 for until Ctrl-]
    uint32_t fBinaryBase;       // "--base": the input file is raw bytes from wBinaryBase
    uint16_t wBinaryBase;
    // Several boards in one run: every "-d" in order (szDevice holds the first), and the file
    // "--boards" names, read when the run starts.
    uint32_t dwDevices;
    char rgszDevices[MAX_DEVICE_NAMES][MAX_FILE_NAME];
    uint32_t fComPortGiven;            // "-c" named
    char szBoardsFile[MAX_FILE_NAME];  // "--boards"
    uint32_t fSerial;                  // "--serial ADDR:BYTES": a number per board
    uint16_t wSerialAddress;           //   its first byte, the most significant
    uint32_t dwSerialBytes;            //   1 to 8
    char szSerialFile[MAX_FILE_NAME];  // "--serial-file": the next free number
    char szLogFile[MAX_FILE_NAME];     // "--log": a JSON line per board per run
    uint32_t fJson;                    // "--json": JSON events on standard output
    uint32_t fStation;                 // "--station": board after board on each port
    uint32_t dwStationCount;           // "--count": boards per port, 0 for no end
};

// Whether the run drives more than one board (several -d, or --boards), or a station.
int IsSeveralBoards(const Settings *pSettings);

// The record as it is before any option is read.
Settings MakeDefaultSettings(void);

// Walks the options from left to right into *pSettings, which holds the defaults. Returns 1 when
// every argument was accepted, 0 after "-h" or a refused value or an argument that is no option
// (its message and the usage printed).
int ParseCommandLine(int argc, char **argv, Settings *pSettings);

// Prints the usage text to standard error, with the program name and the current range.
void PrintUsage(const Settings *pSettings);
