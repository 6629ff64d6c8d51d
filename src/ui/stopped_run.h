// Where a run stands, for the message an interrupted run leaves behind. The stages and counts
// are plain values that a signal handler may read; the message is formatted without stdio
// or allocation, so that it is safe to build inside one.
#pragma once

#include <csignal>
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

// Where one run stands: plain values a signal handler may read while the run goes on. Each
// run has its own (progress.h keeps it with the run's progress).
struct StoppedRun {
    volatile sig_atomic_t nStage;  // a RunStage
    volatile sig_atomic_t nDone;
    volatile sig_atomic_t nTotal;
    const char *volatile pszLeftover;  // see SetInterruptLeftover
};

// Text built without stdio or allocation, inside a signal handler too: appends stop at the
// end of the room.
struct SafeText {
    char *pch;
    size_t cchRoom;
    size_t cchUsed;
};
void AppendSafeText(SafeText *pText, const char *psz);
void AppendSafeNumber(SafeText *pText, unsigned long dwValue);

// Records the start of a stage of dwTotal bytes (0 where bytes are not counted); draws
// nothing (progress.h's EnterStage records and draws).
void RecordStage(StoppedRun *pStopped, RunStage eStage, uint32_t dwTotal);

// Records bytes of the current stage as done; returns the stage's count so far.
uint32_t RecordBytesDone(StoppedRun *pStopped, uint32_t dwBytes);

// The progress line's name for a stage whose bytes are counted, or NULL.
const char *GetStageName(RunStage eStage);

// Writes "Interrupted: ..." for the run's current stage, with its line end, into pchMessage;
// a stage that talks to the talker adds a line that asks for a reset. Each line begins with
// pszPrefix ("" for none). Async-signal-safe. Returns the number of characters written.
size_t FormatInterruptMessage(const StoppedRun *pStopped, const char *pszPrefix, char *pchMessage,
                              size_t cchMessage);

// What standard output ends with after the message of a stopped run: "Failure\n" for a run
// stopped before its end, "" for the monitor, which a stop ends as it should.
// Async-signal-safe.
const char *GetInterruptVerdict(const StoppedRun *pStopped);
