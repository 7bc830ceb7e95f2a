// The device seam over hidapi (its hidraw backend on Linux). Paths come in
// hidapi's enumeration order; reports go out as written, report ID 0 first,
// and replies come back with that ID put in front again.
#include <hidapi.h>

#include <memory>
#include <new>

#include "hidapi_framing.h"
#include "hidraw_sysfs.h"
#include "platform.h"

namespace zorvex::platform {

namespace {

struct EnumerationFree {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

// An open device and the path it was opened by, which is all sysfs needs
// to answer for its IDs and strings.
struct Device {
    hid_device* hid;
    DevicePath path;
};

Device* asDevice(DeviceHandle device) {
    return static_cast<Device*>(device);
}

hid_device* asHid(DeviceHandle device) {
    return asDevice(device)->hid;
}

constexpr const char* kSysfs = "/sys";

// hidapi keeps a little state of its own once used (its last error text);
// it goes when the library is unloaded, not with the process.
__attribute__((destructor)) void releaseHidapi() {
    hid_exit();
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    // Without a hidraw node, udev would be started only to find nothing.
    if (!hasHidrawNodes(kSysfs)) {
        return;
    }
    const std::unique_ptr<hid_device_info, EnumerationFree> devices(hid_enumerate(0, 0));
    for (const hid_device_info* device = devices.get(); device != nullptr; device = device->next) {
        if (device->path != nullptr) {
            list.emplace_back(device->path);
        }
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    hid_device* hid = hid_open_path(path.c_str());
    if (hid == nullptr) {
        return nullptr;
    }
    auto* device = new (std::nothrow) Device{hid, {}};
    try {
        if (device != nullptr) {
            device->path = path;
        }
    } catch (...) {
        delete device;
        device = nullptr;
    }
    if (device == nullptr) {
        hid_close(hid);
    }
    return device;
}

void closeDevice(DeviceHandle device) {
    hid_close(asHid(device));
    delete asDevice(device);
}

// From sysfs, where hidapi itself finds them. Every path here comes from
// hid_enumerate, which lists a hidraw node only once it has read HID_ID from
// this same uevent file. hidapi's strings are these same attributes of the
// USB device, with empty text for one that is missing (a string the chip
// does not have, which Windows reports as a failed read) and the HID name on
// other buses, which is no USB string. Asking hidapi after sysfs could only
// ever give another answer, never a better one.
bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    return readHidrawIds(kSysfs, asDevice(device)->path, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    return readHidrawString(kSysfs, asDevice(device)->path, which, buffer);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    return hid_write(asHid(device), report.data(), report.size()) ==
           static_cast<int>(report.size());
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    unsigned char data[kHidReportSize - 1];
    const int received =
        hid_read_timeout(asHid(device), data, sizeof data, static_cast<int>(timeoutMs));
    return frameReply(data, received, reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
