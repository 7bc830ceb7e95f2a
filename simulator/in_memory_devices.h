// The in-process seam for unit tests: the library talks to a device set the
// test builds and inspects directly.
#ifndef ZORVEX_SIM_IN_MEMORY_DEVICES_H
#define ZORVEX_SIM_IN_MEMORY_DEVICES_H

#include "mcp2221a_emulator.h"

namespace zorvex::sim {

// Makes `devices` what the library sees; nullptr detaches (no devices).
void attachDevices(SimDevices* devices);

}  // namespace zorvex::sim

#endif
