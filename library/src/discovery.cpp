#include "discovery.h"

#include <algorithm>

#include "mcp2221a/protocol.h"
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
           vendorId == mcp2221a::kVendorId && productId == mcp2221a::kProductId;
}

}  // namespace

std::uint32_t enumerateHidDevices(DeviceList& list) {
    list.clear();
    platform::listHidInterfaces(list);
    return countOf(list);
}

std::uint32_t keepMcp2221aOnly(DeviceList& list) {
    // One pass, front to back, each entry looked at once; the order stays.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const DevicePath& path) { return !isMcp2221a(path); }),
               list.end());
    return countOf(list);
}

std::uint32_t findMcp2221aChips(DeviceList& list) {
    if (enumerateHidDevices(list) == 0) {
        return 0;
    }
    return keepMcp2221aOnly(list);
}

}  // namespace zorvex
