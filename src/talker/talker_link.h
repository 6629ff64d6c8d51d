// What the link's operations need, passed to each of them: the port, the part and the
// user's choices for it. The entry fills it once from the command line; nothing in
// src/talker reads the command line or a global record.
#pragma once

#include <cstdint>

#include "part_table.h"
#include "port.h"
#include "port_name.h"
#include "talker_clock.h"

// The talker's side of the wire, fixed by talker.s.
const uint8_t TALKER_PROMPT = '>';
const uint8_t TALKER_SYNC = 's';
const uint32_t TALKER_BAUD_RATE = 9600;  // the talker's rate from its start
// How a UART reads the break the boot ROM holds on the line from reset.
const uint8_t BOOT_BREAK_BYTE = 0x00;
// The RAM the talker takes from the start of RAM, its stack included.
const uint32_t TALKER_RAM_LENGTH = 256;

// What an operation that opens the port itself did. The run prints "Failure" after
// LINK_FAILED alone: the target was reached and did not do what was asked.
enum LinkOutcome {
    LINK_NOT_REACHED = -1,  // nothing went to the target: the port did not open
    LINK_FAILED = 0,
    LINK_DONE = 1,
};

// What the link's operations need to know of the board: its port, its part and the user's
// choices for it. Described once before the port opens (DescribeLinkTarget gives the part's
// defaults, the run puts the user's choices over them) and read-only from then on.
struct LinkTarget {
    PortName portName;      // the port each stage opens ("-c" or "-d")
    int fTrace;             // "-V": every byte, and the commands, on standard error
    const PartInfo *pPart;  // the chip
    uint32_t dwLoadLength;  // the bytes the boot ROM loads after the $FF: a fixed load takes all
    uint8_t bConfigValue;   // what the bulk erase programs into CONFIG
    uint16_t wEepromStart;  // the EEPROM range, both ends included
    uint16_t wEepromEnd;
    uint32_t dwTalkerRate;  // the line rate the talker runs at once it answers
    TalkerClock clock;      // "-x": the rates and the delays at the board's crystal
};

// The open connection to one board: the port as the stages open it, over the target it serves.
struct TalkerLink {
    const LinkTarget *pTarget;
    // The open port: pPort is &device, or with the target's fTrace &trace, a port over device
    // that prints each byte. NULL while closed.
    Port *pPort;
    Port device;
    Port trace;
    // A network port keeps one connection for the whole run: a server may release the board's
    // lines at each disconnect, which resets a board wired through inverting drivers. Between
    // stages it stays open (fParked) and the next stage changes its rate in place.
    int fKeepOpen;
    int fParked;
    // How each stage opens device, when not by the target's port name: a test's own port (NULL:
    // by name).
    int (*pfnOpenPort)(Port *pDevice, uint32_t dwBaudRate, void *pContext);
    void *pOpenContext;
};

// The part's own defaults, the one place they are worked out: its EEPROM range, the CONFIG
// value its bulk erase programs, its boot load, and the talker's first rate at the crystal; no
// trace, and the port named by dwComPort or pszDevice (port_name.h).
void DescribeLinkTarget(LinkTarget *pTarget, const PartInfo *pPart, uint32_t dwCrystalHz,
                        uint32_t dwComPort, const char *pszDevice);

// A closed connection to the target, which must outlive it.
void StartTalkerLink(TalkerLink *pLink, const LinkTarget *pTarget);
