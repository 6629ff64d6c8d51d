// The serial ports present on this machine, with what the system knows of each: the name to
// give "-d" (or the number to give "-c") and a description.
#pragma once

// Prints one line per port on standard output, or "No serial ports found" when there is none.
// pszSystemRoot is the directory the system's /sys and /dev are read under ("" for the
// running system, a made-up tree in tests); Windows reads its registry and ignores it.
// Returns 1, or 0 after a message when the system could not be asked.
int ListSerialPorts(const char *pszSystemRoot);
