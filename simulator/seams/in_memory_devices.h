// The in-process seam for unit tests: the library talks to a device set the
// test builds and inspects directly.
#ifndef ZORVEX_SIM_IN_MEMORY_DEVICES_H
#define ZORVEX_SIM_IN_MEMORY_DEVICES_H

#include "chip/mcp2221a_emulator.h"

namespace zorvex::sim {

// Makes `devices` what the library sees; nullptr detaches (no devices).
void attachDevices(SimDevices* devices);

// Another program's report to chip `chip` (a device index): the chip takes
// it just before the next report the library sends it, and its reply
// reaches every handle open at that moment, the library's among them.
void interject(std::size_t chip, const HidReport& report);

}  // namespace zorvex::sim

#endif
