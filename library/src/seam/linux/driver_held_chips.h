// Chips that Linux's own hid_mcp2221 driver holds. Stock kernels (Debian
// 12's 6.1 and every later one) bind it to every MCP2221A and give the chip
// no hidraw node; what the driver offers instead is a gpiochip labelled
// "mcp2221_gpio" under the HID device, its line n being GPn.
#ifndef ZORVEX_DRIVER_HELD_CHIPS_H
#define ZORVEX_DRIVER_HELD_CHIPS_H

#include <string>

#include "device_list.h"

namespace zorvex::platform {

// Whether `sysfs` has any HID device bound to hid_mcp2221.
bool hasDriverHeldChips(const std::string& sysfs);

// Adds the gpiochip of every chip bound to hid_mcp2221 to `list`, which
// holds hidraw nodes in hidapi's order (udev's: by sysfs path). Each goes
// where its HID device's sysfs path places it among theirs, so that chips
// are numbered by where they are plugged in, whichever way each is held.
void addDriverHeldChips(const std::string& sysfs, DeviceList& list);

}  // namespace zorvex::platform

#endif
