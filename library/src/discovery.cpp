#include "discovery.h"

#include "open_device.h"

namespace zorvex {

namespace {

bool isMcp2221a(const DevicePath& path) {
    OpenDevice device(path);
    if (!device.isOpen()) {
        return false;
    }
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    return platform::readDeviceIds(device.handle(), vendorId, productId) &&
           vendorId == kMcp2221aVendorId && productId == kMcp2221aProductId;
}

}  // namespace

std::uint32_t enumerateHidDevices(DeviceList& list) {
    list.clear();
    platform::listHidInterfaces(list);
    return countOf(list);
}

std::uint32_t keepMcp2221aOnly(DeviceList& list) {
    for (auto entry = list.begin(); entry != list.end();) {
        entry = isMcp2221a(*entry) ? entry + 1 : list.erase(entry);
    }
    return countOf(list);
}

std::uint32_t findMcp2221aChips(DeviceList& list) {
    if (enumerateHidDevices(list) == 0) {
        return 0;
    }
    return keepMcp2221aOnly(list);
}

}  // namespace zorvex
