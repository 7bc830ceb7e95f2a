#include "command_reports.h"

#include "device_identity.h"
#include "mcp2221a/protocol.h"

namespace zorvex {

using namespace mcp2221a;

namespace {

// A switch unit's pins at power-up: GP0 drives the switch and starts low, so
// a unit starts off; GP1 and GP3 are low outputs too; GP2 keeps its factory
// setting.
constexpr std::uint8_t kLowOutput = kGpioDesignation;
constexpr PinBytes kUnitGpSettings{kLowOutput, kLowOutput, kFactoryGpSettings[2], kLowOutput};

}  // namespace

void buildProductStringReport(HidReport& report) {
    report.fill(0);
    report[kCommandCode] = kWriteFlashData;
    report[flash::kSubCommand] = flash::kProductString;
    report[flash::kStringLength] =
        static_cast<std::uint8_t>(flash::kStringHeaderBytes + 2 * kZorvexProduct.size());
    report[flash::kStringType] = flash::kStringDescriptorType;
    std::size_t at = flash::kStringUnitsAt;
    for (const char16_t unit : kZorvexProduct) {
        report[at++] = static_cast<std::uint8_t>(unit & 0xFF);
        report[at++] = static_cast<std::uint8_t>(unit >> 8);
    }
    // The zero unit after the string is already there.
}

void buildGpSettingsReport(HidReport& report) {
    report[kCommandCode] = kWriteFlashData;
    report[flash::kSubCommand] = flash::kGpSettings;
    for (std::size_t pin = 0; pin < kGpPins; ++pin) {
        report[write_flash::kGpSettingsAt + pin] = kUnitGpSettings[pin];
    }
}

void buildGp0OutputReport(HidReport& report, std::uint8_t state) {
    report.fill(0);
    report[kCommandCode] = kSetGpioOutputValues;
    report[set_gpio::kGp0AlterOutput] = set_gpio::kAlter;
    report[set_gpio::kGp0Output] = state;
    report[set_gpio::kGp0AlterDirection] = set_gpio::kAlter;
    report[set_gpio::kGp0Direction] = set_gpio::kDirectionOutput;
}

void buildGpioValuesReport(HidReport& report) {
    report.fill(0);
    report[kCommandCode] = kGetGpioValues;
}

}  // namespace zorvex
