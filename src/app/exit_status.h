// The process exit statuses, decided in one place: the programming run.
#pragma once

enum ExitStatus {
    EXIT_DONE = 0,          // everything asked was done, or the usage was asked for
    EXIT_COMMAND_LINE = 1,  // a refused value, an argument that is no option, no input file
    EXIT_INPUT_FILE = 2,    // the input file can't be opened or read, or holds a bad line
    EXIT_TARGET = 3,        // talking to the target failed, or a byte did not verify
};
