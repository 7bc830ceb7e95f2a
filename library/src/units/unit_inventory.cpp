#include "units/unit_inventory.h"

#include "command_reports.h"
#include "device_identity.h"
#include "discovery.h"
#include "mcp2221a/protocol.h"
#include "report_exchange.h"
#include "seam/platform.h"
#include "text/utf_text.h"
#include "unit_id.h"

namespace zorvex::units {

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
        units.push_back({port, chips[chip], chip, text::utf16ToUtf8(manufacturer.view()),
                         text::utf16ToUtf8(product.view())});
    }
    return units;
}

Gp0 readGp0(const DevicePath& path) {
    using mcp2221a::get_gpio_reply::kGp0Value;
    HidReport report{};
    buildGpioValuesReport(report);
    HidReport reply{};
    std::uint32_t length = kHidReportSize;
    if (!transferReport(path, &report, &reply, length) || length <= kGp0Value) {
        return Gp0::noAnswer;
    }
    // A pin that is not general-purpose I/O has no value to read.
    if (reply[kGp0Value] == mcp2221a::kNotGpio) {
        return Gp0::notGpio;
    }
    return reply[kGp0Value] != 0 ? Gp0::on : Gp0::off;
}

Switch switchGp0(const DevicePath& path, bool on) {
    HidReport report{};
    buildGp0OutputReport(report, on ? 1 : 0);
    HidReport reply{};
    std::uint32_t length = kHidReportSize;
    if (transferReport(path, &report, &reply, length)) {
        return Switch::taken;
    }
    // A pin that is not general-purpose I/O answers in its "alter" bytes.
    if (length == 0) {
        return Switch::noAnswer;
    }
    return length > mcp2221a::set_gpio::kGp0AlterOutput &&
                   reply[mcp2221a::set_gpio::kGp0AlterOutput] == mcp2221a::kNotGpio
               ? Switch::notGpio
               : Switch::refused;
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

}  // namespace zorvex::units
