// Unit tests run the library against an emulated device set in this process.
#ifndef ZORVEX_TESTS_DEVICE_SET_FIXTURE_H
#define ZORVEX_TESTS_DEVICE_SET_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "chip/mcp2221a_emulator.h"
#include "seams/in_memory_devices.h"
#include "zorvex.h"

namespace zorvex::test {

inline sim::SimChip keyboard() {
    sim::SimChip device;
    device.vendorId = 0x046D;
    device.productId = 0xC31C;
    device.product = u"USB Keyboard";
    return device;
}

inline sim::SimChip plainChip(std::u16string manufacturer = u"Microchip Technology Inc.") {
    return sim::makeMcp2221a(std::move(manufacturer));
}

// A unit as "-set" and a replug leave it: GP0 a general-purpose output.
inline sim::SimChip zorvexUnit() {
    sim::SimChip unit = sim::makeMcp2221a(u"Maker", u"DELOQ-72N SWITCHER");
    unit.gpSettings = unit.flash.gpSettings = {0x00, 0x00, 0x11, 0x00};
    return unit;
}

inline std::u16string text(const WideText& wide) {
    return std::u16string(Text::viewOf(wide));
}

// Attaches `devices` for the test and checks afterwards that every handle
// the library opened was closed again, whatever path the test took.
class DeviceSetTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::attachDevices(&devices); }
    void TearDown() override {
        sim::attachDevices(nullptr);
        for (std::size_t i = 0; i < devices.chips.size(); ++i) {
            EXPECT_EQ(devices.chips[i].openHandles, 0) << "handle left open on device " << i;
        }
    }
    sim::SimChip& chip(std::size_t i) { return devices.chips.at(i); }

    sim::SimDevices devices;
};

}  // namespace zorvex::test

#endif
