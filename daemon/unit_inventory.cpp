#include "unit_inventory.h"

#include "command_reports.h"
#include "daemon_options.h"
#include "device_identity.h"
#include "discovery.h"
#include "seam/platform.h"
#include "report_exchange.h"
#include "text/utf_text.h"

namespace zorvex::daemon {

namespace {

constexpr std::uint8_t kGetGpioValues = 0x51;
// Get GPIO Values answers this in a pin's value byte when the pin is no GPIO.
constexpr std::uint8_t kNotGpio = 0xEE;
constexpr std::size_t kGp0Value = 3;  // report ID, command, status, then GP0

}  // namespace

std::vector<UnitSeen> findUnits() {
    DeviceList chips;
    findMcp2221aChips(chips);
    std::vector<UnitSeen> units;
    for (std::size_t chip = 0; chip < chips.size(); ++chip) {
        Text manufacturer;
        Text product;
        if (!readDeviceStrings(chips[chip], manufacturer, product) || !isZorvexProduct(product)) {
            continue;
        }
        std::string port;
        if (!platform::readDevicePort(chips[chip], port) || !isUnitId(port)) {
            port = "unit" + std::to_string(units.size());
        }
        units.push_back({port, chips[chip], chip, text::utf16ToUtf8(manufacturer.view())});
    }
    return units;
}

Gp0 readGp0(const DevicePath& path) {
    HidReport report{};
    report[1] = kGetGpioValues;
    HidReport reply{};
    std::uint32_t length = kHidReportSize;
    if (!transferReport(path, &report, &reply, length) || length <= kGp0Value) {
        return Gp0::noAnswer;
    }
    if (reply[kGp0Value] == kNotGpio) {
        return Gp0::notGpio;
    }
    return reply[kGp0Value] != 0 ? Gp0::on : Gp0::off;
}

bool switchGp0(const DevicePath& path, bool on) {
    HidReport report{};
    buildGp0OutputReport(report, on ? 1 : 0);
    HidReport reply{};
    std::uint32_t length = kHidReportSize;
    return transferReport(path, &report, &reply, length);
}

const char* describe(Gp0 state) {
    switch (state) {
        case Gp0::on:
            return "ON";
        case Gp0::off:
            return "OFF";
        case Gp0::notGpio:
            return "not switchable (GP0 is no GPIO: run zorvex_cui N -set and replug it)";
        case Gp0::noAnswer:
            break;
    }
    return "not answering";
}

}  // namespace zorvex::daemon
