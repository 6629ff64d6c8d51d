// Several boards in one run, each on a thread of its own with its own records, all at once:
// every board runs the whole job and fails alone. Before any board is touched the boards'
// names are checked, the serial counter and the log are opened, and the input image (read and
// checked once by the caller) is the one thing the boards share. With --station each port
// takes board after board, as each announces itself with its boot ROM's break.
#pragma once

#include "program_image.h"
#include "settings.h"

// Runs every board the command line names and says the summary. Returns the exit status: 0
// when every board succeeded, 3 when any failed, 1 or 2 when the run was refused before any
// board was touched.
int RunBoards(const Settings *pSettings, const ProgramImage *pImage);
