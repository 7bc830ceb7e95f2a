#include "device_identity.h"

#include <algorithm>

#include "open_device.h"

namespace zorvex {

namespace {

// Replaces `text` with the buffer's string, which ends at its first zero unit
// or at the end of the buffer when the device sent no terminator.
void readInto(platform::DeviceHandle device, platform::DeviceString which, WideText& text) {
    platform::StringBuffer buffer{};
    if (!platform::readDeviceString(device, which, buffer)) {
        return;
    }
    const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
    Text::assign(
        text, std::u16string_view(buffer.data(), static_cast<std::size_t>(end - buffer.begin())));
}

}  // namespace

bool readDeviceStrings(const DevicePath& path, WideText& manufacturer, WideText& product) {
    OpenDevice device(path);
    if (!device.isOpen()) {
        return false;
    }
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    if (!platform::readDeviceIds(device.handle(), vendorId, productId)) {
        return false;
    }
    readInto(device.handle(), platform::DeviceString::manufacturer, manufacturer);
    readInto(device.handle(), platform::DeviceString::product, product);
    return true;
}

bool isZorvexProduct(const WideText& product) {
    return Text::viewOf(product) == kZorvexProduct;
}

namespace {

// True when the chip's own product string marks it a switch unit. Fresh
// texts for every chip: a chip whose product string cannot be read is judged
// by empty text, never by the string of the chip before it.
bool isZorvexUnit(const DevicePath& path) {
    Text manufacturer;
    Text product;
    return readDeviceStrings(path, manufacturer, product) && isZorvexProduct(product);
}

}  // namespace

std::uint32_t countZorvexUnits(const DeviceList& list) {
    return static_cast<std::uint32_t>(std::count_if(list.begin(), list.end(), isZorvexUnit));
}

std::uint32_t keepZorvexOnly(DeviceList& list) {
    // One pass, front to back, each entry looked at once; the order stays.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const DevicePath& path) { return !isZorvexUnit(path); }),
               list.end());
    return countOf(list);
}

}  // namespace zorvex
