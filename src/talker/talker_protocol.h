// The host's end of the talker command protocol: one command at a time, each exchange
// ending with the talker's prompt ">".
#pragma once

#include <cstdint>

#include "port.h"
#include "srecord.h"
#include "talker_link.h"

enum { FRAME_LENGTH = 5 };

// The talker's commands (talker.s) by name. Every one goes as a frame of FRAME_LENGTH bytes:
// its letter, the address and then the count (or the value), each high byte first.
enum TalkerCommand {
    TALKER_READ_BYTE,      // "r": answers the byte at the address
    TALKER_WRITE_BYTE,     // "w": stores the value, answers the byte read back
    TALKER_PROGRAM_BYTE,   // "p": programs the value into an EEPROM byte, answers its read-back
    TALKER_WRITE_BLOCK,    // "W": count data bytes follow, each answered by its read-back
    TALKER_PROGRAM_BLOCK,  // "P": as "W", each byte programmed into the EEPROM
    TALKER_READ_BLOCK,     // "R": answers count bytes, each span followed by its check bytes
    TALKER_BULK_ERASE,     // "B": erases the EEPROM, programs CONFIG with the value; no answer
    TALKER_COMMANDS
};

// The frame of eCommand. dwArgument: the value of a byte command or of the bulk erase (whose
// address is always BULK_ERASE_ADDRESS, the talker ignores it); the count of a block, 1 to
// 65536 (which goes as 0).
void BuildCommandFrame(TalkerCommand eCommand, uint16_t wAddress, uint32_t dwArgument,
                       uint8_t *pbFrame);

const uint16_t BULK_ERASE_ADDRESS = 0xF800;

// Waits for the prompt. With fSync, up to ten attempts, each emptying the receive buffer and
// sending "s" first, stopped by a second answer that is not ">" (after one line that says
// what is likely); without, one read. Returns 1 when ">" came.
int GetPrompt(Port *pPort, int fSync);

// "GetPrompt: Got a ..., expected '>'" for a byte that is not the prompt: a printable byte
// as itself, any other as $XX, never written raw to the terminal.
void ReportWrongPrompt(uint8_t bReply);

// "w": stores bValue at wAddress; the read-back is read but not compared.
int WriteTargetByte(Port *pPort, uint16_t wAddress, uint8_t bValue);

// Moves the talker and the port to dwRate: "w" of bBaud into the SCI's BAUD register at
// wBaudAddress (its read-back and prompt, garbled by the switch, are read past as strays before
// the sync's answer), the port set to dwRate, then the sync. Returns 1 when the talker answers at the new rate; 0 after a
// message saying the rate did not work (the run never falls back to the old one).
int SetTalkerRate(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, uint32_t dwRate);
// GetPrompt and SetTalkerRate in one: the sync goes in the same write in front of the "w", a
// round trip less, and its prompt is looked for among the first bytes that answer. When it is
// not there, the sync goes again alone, as GetPrompt sends it, and the "w" after its prompt.
int SyncAndSetTalkerRate(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, uint32_t dwRate);

// "B": bulk-erases the EEPROM and programs CONFIG with the link's value.
int BulkErase(const TalkerLink *pLink);

// 1 when wAddress lies in the link's EEPROM range, both ends included.
int InEepromRange(const TalkerLink *pLink, uint16_t wAddress);

// Sends the data of one S1 record: the bytes inside the EEPROM range with "P" (programmed),
// the others with "W" (stored), a record that straddles a bound split at it. Each byte's
// read-back is compared with it; a difference is reported with the byte's address, index in
// the record, value written and value read back, and added to *pdwMismatches, but does not
// fail the record. A record without data bytes sends nothing.
int WriteSRecord(const TalkerLink *pLink, const SRecord *pRecord, uint32_t *pdwMismatches);
