// A hidraw node's IDs and USB strings as the kernel publishes them in sysfs:
// one small file read each, where hidapi's own lookup of the same files
// walks the whole udev device tree (about 170 system calls) for every
// device opened.
#ifndef ZORVEX_HIDRAW_SYSFS_H
#define ZORVEX_HIDRAW_SYSFS_H

#include <cstdint>
#include <string>

#include "seam/platform.h"

namespace zorvex::platform {

// Whether sysfs lists any hidraw node: where it lists none, hidapi's
// enumeration (which lists exactly those, through udev) finds nothing.
bool hasHidrawNodes(const std::string& sysfs);

// `sysfs` is where sysfs is mounted ("/sys"); `node` the device path as
// hidapi enumerates it ("/dev/hidraw3"). False when the node is no hidraw
// node or sysfs does not have what is asked.
bool readHidrawIds(const std::string& sysfs, const std::string& node, std::uint16_t& vendorId,
                   std::uint16_t& productId);

// Whether `port` is a USB port path as sysfs names USB devices: a bus
// number, "-", and port numbers joined by "." ("1-4", "2-1.3").
bool isUsbPortPath(const std::string& port);

// The USB port path of the USB device behind a hidraw node: the name of
// the HID device's grandparent in sysfs. False for a device on another bus.
bool readHidrawPort(const std::string& sysfs, const std::string& node, std::string& port);

// The USB device's manufacturer or product string (UTF-8 in sysfs) as UTF-16
// in `buffer`, cut at 256 units, a surrogate pair never split.
bool readHidrawString(const std::string& sysfs, const std::string& node, DeviceString which,
                      StringBuffer& buffer);

}  // namespace zorvex::platform

#endif
