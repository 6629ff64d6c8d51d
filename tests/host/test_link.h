// A link for the tests: the 811E2 at its defaults, over a target the test may change before
// it opens the port.
#pragma once

#include "part_table.h"
#include "talker_clock.h"
#include "talker_link.h"

// A closed link on the device pszDevice names (COM dwComPort when it is empty), over *pTarget.
inline void StartTestLink(TalkerLink *pLink, LinkTarget *pTarget, uint32_t dwComPort,
                          const char *pszDevice) {
    DescribeLinkTarget(pTarget, GetDefaultPart(), DEFAULT_CRYSTAL_HZ, dwComPort, pszDevice);
    StartTalkerLink(pLink, pTarget);
}
