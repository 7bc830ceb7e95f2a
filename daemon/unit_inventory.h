// The switch units attached now, named by where they are plugged in, and
// their GP0: read back from the chip (Get GPIO Values) and switched.
#ifndef ZORVEX_DAEMON_UNIT_INVENTORY_H
#define ZORVEX_DAEMON_UNIT_INVENTORY_H

#include <string>
#include <vector>

#include "device_list.h"

namespace zorvex::daemon {

struct UnitSeen {
    std::string id;  // its port: the same after a replug
    DevicePath path;
    std::size_t chip = 0;      // its chip number, as zorvex_cui counts chips
    std::string manufacturer;  // the chip's USB manufacturer string, UTF-8
};

// Every switch unit, in enumeration order. A unit whose port the platform
// cannot say is named by its place among the units ("unit0", ...).
std::vector<UnitSeen> findUnits();

enum class Gp0 { off, on, notGpio, noAnswer };

// GP0's output value as the chip reports it now.
Gp0 readGp0(const DevicePath& path);

// Drives GP0 high or low; false when the chip did not take it (a GP0 that
// is no GPIO, no answer). The caller reads the state back.
bool switchGp0(const DevicePath& path, bool on);

const char* describe(Gp0 state);

}  // namespace zorvex::daemon

#endif
