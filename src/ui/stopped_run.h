// Where a run stands, for the message an interrupted run leaves behind. The stages and counts
// are plain values that a signal handler may read; the message is formatted without stdio
// or allocation, so that it is safe to build inside one.
#pragma once

#include <cstddef>
#include <cstdint>

enum RunStage {
    STAGE_IDLE,         // nothing of the target touched yet
    STAGE_TALKER_LOAD,  // the talker going into the chip's RAM
    STAGE_PREPARE,      // sync and register writes
    STAGE_BULK_ERASE,   // the EEPROM being erased
    STAGE_DOWNLOAD,     // the file's bytes being written
    STAGE_VERIFY,       // the chip's bytes read and compared with the file ("-n")
    STAGE_READ,         // a range of the chip being read back ("-r")
    STAGE_MONITOR,      // the chip's own program watched ("--monitor")
};

// Records the start of a stage of dwTotal bytes (0 where bytes are not counted); draws
// nothing (progress.h's EnterStage records and draws).
void RecordStage(RunStage eStage, uint32_t dwTotal);

// Records bytes of the current stage as done; returns the stage's count so far.
uint32_t RecordBytesDone(uint32_t dwBytes);

// The progress line's name for a stage whose bytes are counted, or NULL.
const char *GetStageName(RunStage eStage);

// A file being written under a temporary name, which an interrupted run removes (NULL for
// none). The text must stay in place until it is set back to NULL.
void SetInterruptLeftover(const char *pszPath);
const char *GetInterruptLeftover(void);

// Writes "Interrupted: ..." for the current stage, with its line end, into pchMessage; a
// stage that talks to the talker adds a line that asks for a reset.
// Async-signal-safe. Returns the number of characters written.
size_t FormatInterruptMessage(char *pchMessage, size_t cchMessage);

// What standard output ends with after the message: "Failure\n" for a run stopped before its
// end, "" for the monitor, which a stop ends as it should. Async-signal-safe.
const char *GetInterruptVerdict(void);
