// A chip's IDs, USB strings and port as the kernel publishes them in sysfs,
// found from either node a chip has: its hidraw node, or, where Linux's
// hid_mcp2221 holds it, the gpiochip that driver makes under its HID
// device. One small file read each, where hidapi's own lookup of the same
// files walks the whole udev device tree (about 170 system calls) for
// every device opened.
#ifndef ZORVEX_HID_SYSFS_H
#define ZORVEX_HID_SYSFS_H

#include <cstdint>
#include <string>

#include "seam/platform.h"

namespace zorvex::platform {

// Whether sysfs lists any hidraw node: where it lists none, hidapi's
// enumeration (which lists exactly those, through udev) finds nothing.
bool hasHidrawNodes(const std::string& sysfs);

// The two kinds of node a chip may have: "/dev/hidraw3", "/dev/gpiochip1".
bool isHidrawPath(const std::string& path);
bool isGpiochipPath(const std::string& path);

// `sysfs` is where sysfs is mounted ("/sys"); `node` a device path as the
// seam lists it: a hidraw node ("/dev/hidraw3", as hidapi enumerates it) or
// a gpiochip ("/dev/gpiochip1"). The HID device's folder behind it, as a
// path sysfs resolves (symbolic links in it); empty for anything else.
std::string hidDeviceFolder(const std::string& sysfs, const std::string& node);

// False when the node is not one of those two or sysfs does not have what
// is asked.
bool readHidIds(const std::string& sysfs, const std::string& node, std::uint16_t& vendorId,
                std::uint16_t& productId);

// Whether `port` is a USB port path as sysfs names USB devices: a bus
// number, "-", and port numbers joined by "." ("1-4", "2-1.3").
bool isUsbPortPath(const std::string& port);

// The USB port path of the USB device behind the node: the name of the HID
// device's grandparent in sysfs. False for a device on another bus.
bool readHidPort(const std::string& sysfs, const std::string& node, std::string& port);

// The USB device's manufacturer or product string (UTF-8 in sysfs) as UTF-16
// in `buffer`, cut at 256 units, a surrogate pair never split.
bool readHidString(const std::string& sysfs, const std::string& node, DeviceString which,
                   StringBuffer& buffer);

}  // namespace zorvex::platform

#endif
