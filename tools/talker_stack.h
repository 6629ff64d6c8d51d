// The talker's deepest stack, worked out from its source: every path from the entry is
// followed through calls, branches and pushes, and the most bytes pushed at once is its depth.
#pragma once

#include <string>

// The deepest the stack grows from the routine at pszEntry (the start-up, which sets the stack
// with LDS), counting each call's return address. Returns 1 with *plDeepest set, or 0 after
// printing why the source can't be followed: a jump through a register, a routine that calls
// itself, a place reached with two depths, a return or pull below the routine's entry depth,
// or code that runs into data.
int FindDeepestStack(const std::string &sSource, const char *pszEntry, long *plDeepest);
