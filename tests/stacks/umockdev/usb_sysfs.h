// A scenario's devices as the Linux kernel shows USB HID devices in sysfs:
// the USB device, its HID interface, the HID device under hid-generic and
// its hidraw node, in umockdev's description format. The layout follows
// umockdev's own recording of a real USB HID device bound to hid-generic
// (devices/hidraw/fido2.umockdev in umockdev's sources: a YubiKey on
// usb1/1-2/1-2.3, interface :1.0, HID device 0003:1050:0120.000A, hidraw5),
// with the MCP2221A's HID function on interface 2.
#ifndef ZORVEX_TESTS_UMOCKDEV_USB_SYSFS_H
#define ZORVEX_TESTS_UMOCKDEV_USB_SYSFS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/mcp2221a_emulator.h"

namespace zorvex::test {

// One sysfs directory: its path below /sys, the contents of its "uevent"
// and of each attribute file, and its symlinks.
struct SysfsDevice {
    std::string path;
    std::string subsystem;
    std::string uevent;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::pair<std::string, std::string>> links;
};

// What the hidraw node answers to its ioctls.
struct HidrawFacts {
    std::uint32_t bus = 0x03;  // BUS_USB
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string name;  // HID_NAME
    std::string phys;  // HID_PHYS
    std::string uniq;  // HID_UNIQ
};

// The USB port device `index` of `count` sits on, so that sysfs path order
// (which libudev lists in) is scenario order: "1-1" to "1-9", then behind
// hubs, "1-1.1" to "1-9.9", and so on.
std::string portPath(std::size_t index, std::size_t count);

// A USB string descriptor's text as the kernel caches it for sysfs: at
// most 126 code units, up to the first zero unit, UTF-8, unpaired
// surrogates dropped; no attribute at all (nullopt) when nothing is left.
std::optional<std::string> sysfsUsbString(const std::u16string& text);

// The four sysfs directories of device `index` (of `count`), parents
// first, and its node's answers. It sits on the chip's `port` when it names
// one (a USB port path), else on portPath(index, count). Strings the chip cannot give have no
// attribute; a chip whose IDs cannot be read has none in its uevent.
std::vector<SysfsDevice> describeDevice(const sim::SimChip& chip, std::size_t index,
                                        std::size_t count, HidrawFacts& facts);

// The devices in umockdev's text format (P:, E:, L:, H: lines).
std::string umockdevRecord(const std::vector<SysfsDevice>& devices);

}  // namespace zorvex::test

#endif
