#include "chip_devices.h"

#include "cop.h"
#include "eeprom.h"
#include "sci.h"
#include "spi.h"
#include "timer.h"

namespace hc11 {

DeviceList BuildChipDevices(const Clock &clock, Trace &trace, const PartInfo &part) {
    DeviceList devices;
    devices.add<Sci>(clock, trace);
    devices.add<Timer>(clock, trace);
    devices.add<Cop>(clock, trace);
    devices.add<Eeprom>(clock, trace, part);
    devices.add<SpiControl>(clock, trace);
    return devices;
}

}  // namespace hc11
