#include "command_reports.h"

#include "device_identity.h"

namespace zorvex {

namespace {

constexpr std::uint8_t kSubProductString = 0x03;
constexpr std::uint8_t kSubGpSettings = 0x01;
constexpr std::uint8_t kStringDescriptor = 0x03;
// Fixed for the 18-unit switch-unit string: 2 + 2 * 18.
constexpr std::uint8_t kProductDescriptorLength = 0x26;

}  // namespace

void buildProductStringReport(HidReport& report) {
    report.fill(0);
    report[1] = kWriteFlashData;
    report[2] = kSubProductString;
    report[3] = kProductDescriptorLength;
    report[4] = kStringDescriptor;
    std::size_t at = 5;
    for (const char16_t unit : kZorvexProduct) {
        report[at++] = static_cast<std::uint8_t>(unit & 0xFF);
        report[at++] = static_cast<std::uint8_t>(unit >> 8);
    }
    // The zero unit after the string is already there.
}

void buildGpSettingsReport(HidReport& report) {
    report[1] = kWriteFlashData;
    report[2] = kSubGpSettings;
    report[3] = 0x00;  // GP0: GPIO, output, low at power-up: a unit starts off
    report[4] = 0x00;  // GP1
    report[5] = 0x11;  // GP2
    report[6] = 0x00;  // GP3
}

void buildGp0OutputReport(HidReport& report, std::uint8_t state) {
    report.fill(0);
    report[1] = kSetGpioOutputValues;
    report[3] = 0x01;  // alter GP0's output value
    report[4] = state;
    report[5] = 0x01;  // alter GP0's direction
    report[6] = 0x00;  // to output
}

}  // namespace zorvex
