// hc11prog: programs a 68HC11's RAM and EEPROM through a serial port from an input file in
// any of the formats it reads (S19, Intel HEX, ELF, raw binary).
#include <cstdio>

#include "programming_run.h"

int main(int argc, char **argv) {
    // Progress marks must show on the console as they are printed, without a line end.
    setvbuf(stdout, NULL, _IONBF, 0);
    return RunProgramming(argc, argv);
}
