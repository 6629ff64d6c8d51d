// The devices of a 68HC11 of the part table, built in the one place a new peripheral is added.
#pragma once

#include "clock.h"
#include "device.h"
#include "part_table.h"
#include "trace.h"

namespace hc11 {

// The chip's devices in the order the time loop services them. The bus routes to each the
// registers it names; the rest of the block reads as its reset values.
DeviceList BuildChipDevices(const Clock &clock, Trace &trace, const PartInfo &part);

}  // namespace hc11
