// "-V": a port that passes every operation to another and prints each byte that crosses it on
// standard error, "Write:" one line per byte written and "Read:" one line per read.
#pragma once

#include "port.h"

// pTrace becomes a port over pInner, which must stay open while pTrace is used. Closing
// pTrace closes pInner.
void OpenTracePort(Port *pTrace, Port *pInner);
