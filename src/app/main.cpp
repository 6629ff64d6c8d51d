// hc11prog: programs a 68HC11's RAM and EEPROM from an S19 file through a serial port.
#include <cstdio>

#include "programming_run.h"

int main(int argc, char **argv) {
    // Progress marks must show on the console as they are printed, without a line end.
    setvbuf(stdout, NULL, _IONBF, 0);
    return RunProgramming(argc, argv);
}
