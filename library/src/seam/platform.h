// The device seam: everything the library needs of the operating system.
// Exactly one backend is linked into each build of the library (seam/windows,
// seam/linux, or one of the simulator's seams); the code above it cannot
// tell which.
#ifndef ZORVEX_PLATFORM_H
#define ZORVEX_PLATFORM_H

#include <array>
#include <cstdint>
#include <string>

#include "device_list.h"
#include "hid_report.h"

namespace zorvex::platform {

// An open device; nullptr when an open failed.
using DeviceHandle = void*;

// A USB string read: 256 UTF-16 code units, not necessarily zero-terminated.
constexpr std::size_t kStringUnits = 256;
using StringBuffer = std::array<char16_t, kStringUnits>;

enum class DeviceString { manufacturer, product };

// 1. Appends the path of every present HID interface, in the platform's order.
void listHidInterfaces(DeviceList& list);

// 2. Opens a path shared for reading and writing; nullptr on failure.
DeviceHandle openDevice(const DevicePath& path);
void closeDevice(DeviceHandle device);

// 3. Reads the 16-bit USB vendor and product IDs.
bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId);

// 4. Reads a USB string into `buffer`, which the caller has zero-filled.
bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer);

// 5. Writes one report; true only when all 65 bytes went out.
bool writeReport(DeviceHandle device, const HidReport& report);

// 6. Reads one report of at most `capacity` bytes into `reply`, waiting at
// most `timeoutMs`. Returns false when nothing arrived; `bytesRead` is then 0.
bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t timeoutMs);

// 7. Where the device behind `path` is plugged in, as a unit id (unit_id.h)
// that stays the same when it is unplugged and plugged in again at the same
// place (a USB port path such as "1-1.4" on Linux). False when the platform
// cannot say. Only zorvexd asks, to name units.
bool readDevicePort(const DevicePath& path, std::string& port);

}  // namespace zorvex::platform

#endif
