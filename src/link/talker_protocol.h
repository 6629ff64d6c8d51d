// The host's end of the talker command protocol: one command at a time, each exchange
// ending with the talker's prompt ">".
#pragma once

#include "srecord.h"
#include "win32_serial.h"

// Waits for the prompt. With fSync, up to ten attempts, each emptying the receive buffer and
// sending "s" first; without, one read. Returns 1 when ">" came.
int GetPrompt(HANDLE hPort, int fSync);

// "w": stores bValue at wAddress; the read-back is read but not compared.
int WriteTargetByte(HANDLE hPort, WORD wAddress, BYTE bValue);

// Moves the talker and the port to dwRate: "w" of bBaud into the SCI's BAUD register at
// wBaudAddress (its read-back and prompt come at the new rate and are not read), the port set
// to dwRate, then the sync. Returns 1 when the talker answers at the new rate; 0 after a
// message saying the rate did not work (the run never falls back to the old one).
int SetTalkerRate(HANDLE hPort, WORD wBaudAddress, BYTE bBaud, DWORD dwRate);

// "B": bulk-erases the EEPROM and programs CONFIG with the "-C" value.
int BulkErase(HANDLE hPort);

// 1 when wAddress lies in the EEPROM range of the settings, both ends included.
int InEepromRange(WORD wAddress);

// Sends the data of one S1 record: the bytes inside the EEPROM range with "P" (programmed),
// the others with "W" (stored), a record that straddles a bound split at it. Each byte's
// read-back is compared with it; a difference is reported with the byte's address, index in
// the record, value written and value read back, and added to *pdwMismatches, but does not
// fail the record. A record without data bytes sends nothing.
int WriteSRecord(HANDLE hPort, const SRecord *pRecord, DWORD *pdwMismatches);
