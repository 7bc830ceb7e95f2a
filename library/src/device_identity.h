// A chip's USB strings, and telling switch units from plain chips.
#ifndef ZORVEX_DEVICE_IDENTITY_H
#define ZORVEX_DEVICE_IDENTITY_H

#include <cstdint>
#include <string_view>

#include "device_list.h"
#include "zorvex.h"

namespace zorvex {

// The product string that marks a switch unit; setMcp2221aForZorvex writes
// this same text into the chip's flash.
constexpr std::u16string_view kZorvexProduct = u"DELOQ-72N SWITCHER";

// Reads the chip's manufacturer and product strings into the two texts.
// False when the chip cannot be opened or its attributes cannot be read; a
// string that cannot be read leaves its text as it was.
bool readDeviceStrings(const DevicePath& path, WideText& manufacturer, WideText& product);

// True exactly when `product` is the switch-unit string, unit for unit.
bool isZorvexProduct(const WideText& product);

// Counts the switch units in `list`, which is left unchanged.
std::uint32_t countZorvexUnits(const DeviceList& list);

// Removes every entry that is not a switch unit; returns the count left.
std::uint32_t keepZorvexOnly(DeviceList& list);

}  // namespace zorvex

#endif
