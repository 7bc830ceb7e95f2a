// Finding the MCP2221A chips among the HID interfaces present right now.
#ifndef ZORVEX_DISCOVERY_H
#define ZORVEX_DISCOVERY_H

#include <cstdint>

#include "device_list.h"

namespace zorvex {

// Empties `list` and fills it with every present HID interface; returns the count.
std::uint32_t enumerateHidDevices(DeviceList& list);

// Removes every entry that cannot be opened, whose IDs cannot be read, or
// that is not an MCP2221A; returns the count left.
std::uint32_t keepMcp2221aOnly(DeviceList& list);

// The start of every exported call: enumerate, then keep the chips. Returns
// the chip count, 0 when nothing was enumerated.
std::uint32_t findMcp2221aChips(DeviceList& list);

}  // namespace zorvex

#endif
