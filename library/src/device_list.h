// The HID interfaces one exported call works on.
#ifndef ZORVEX_DEVICE_LIST_H
#define ZORVEX_DEVICE_LIST_H

#include <cstdint>
#include <string>
#include <vector>

namespace zorvex {

// A HID interface path as the platform enumerates it; only ever handed back
// to the platform's open.
using DevicePath = std::string;

// Paths in enumeration order. Entries are only removed in place, so the
// position of an entry is the device number callers use.
using DeviceList = std::vector<DevicePath>;

inline std::uint32_t countOf(const DeviceList& list) {
    return static_cast<std::uint32_t>(list.size());
}

}  // namespace zorvex

#endif
