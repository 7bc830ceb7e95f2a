// The device seam over hidapi (its hidraw backend on Linux). Paths come in
// hidapi's enumeration order; reports go out as written, report ID 0 first,
// and replies come back with that ID put in front again.
#include <hidapi.h>

#include <memory>

#include "hidapi_framing.h"
#include "platform.h"

namespace zorvex::platform {

namespace {

struct EnumerationFree {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

hid_device* asHid(DeviceHandle device) {
    return static_cast<hid_device*>(device);
}

// hidapi keeps a little state of its own once used (its last error text);
// it goes when the library is unloaded, not with the process.
__attribute__((destructor)) void releaseHidapi() {
    hid_exit();
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    const std::unique_ptr<hid_device_info, EnumerationFree> devices(hid_enumerate(0, 0));
    for (const hid_device_info* device = devices.get(); device != nullptr; device = device->next) {
        if (device->path != nullptr) {
            list.emplace_back(device->path);
        }
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    return hid_open_path(path.c_str());
}

void closeDevice(DeviceHandle device) {
    hid_close(asHid(device));
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    // Owned by the device; freed when it is closed.
    const hid_device_info* info = hid_get_device_info(asHid(device));
    if (info == nullptr) {
        return false;
    }
    vendorId = info->vendor_id;
    productId = info->product_id;
    return true;
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    wchar_t text[kStringUnits + 1] = {};
    const int status = which == DeviceString::manufacturer
                           ? hid_get_manufacturer_string(asHid(device), text, kStringUnits + 1)
                           : hid_get_product_string(asHid(device), text, kStringUnits + 1);
    if (status != 0) {
        return false;
    }
    wideToUtf16(text, kStringUnits, buffer);
    return true;
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
