// The five exports. Each one builds its own device list, works on it and
// drops it before returning; nothing is kept between calls. Nothing may
// escape across the boundary: a failed allocation answers 0 or false.
#include "command_reports.h"
#include "device_identity.h"
#include "discovery.h"
#include "report_exchange.h"
#include "zorvex.h"

using namespace zorvex;

namespace {

bool exchange(const DevicePath& path, const HidReport& report) {
    HidReport reply{};
    std::uint32_t replyLength = kHidReportSize;
    return transferReport(path, &report, &reply, replyLength);
}

}  // namespace

extern "C" {

ZORVEX_API std::uint32_t ZORVEX_CALL getMcp2221aNum() {
    try {
        DeviceList list;
        return findMcp2221aChips(list);
    } catch (...) {
        return 0;
    }
}

ZORVEX_API std::uint32_t ZORVEX_CALL getZorvexNum() {
    try {
        DeviceList list;
        if (findMcp2221aChips(list) == 0) {
            return 0;
        }
        return countZorvexUnits(list);
    } catch (...) {
        return 0;
    }
}

ZORVEX_API bool ZORVEX_CALL getMcp2221aInfo(std::uint32_t index, WideText& manufacturer,
                                            WideText& product) {
    try {
        DeviceList list;
        if (index >= findMcp2221aChips(list)) {
            return false;
        }
        return readDeviceStrings(list[index], manufacturer, product);
    } catch (...) {
        return false;
    }
}

ZORVEX_API bool ZORVEX_CALL setMcp2221aForZorvex(std::uint32_t index) {
    try {
        DeviceList list;
        if (index >= findMcp2221aChips(list)) {
            return false;
        }
        HidReport report{};
        buildProductStringReport(report);
        const bool productWritten = exchange(list[index], report);
        // The settings go out even when the product string was refused, as
        // the next exchange with the same buffer.
        buildGpSettingsReport(report);
        const bool settingsWritten = exchange(list[index], report);
        return productWritten && settingsWritten;
    } catch (...) {
        return false;
    }
}

ZORVEX_API bool ZORVEX_CALL switchZorvex(std::uint32_t index, std::uint32_t state) {
    try {
        DeviceList list;
        findMcp2221aChips(list);
        if (index >= keepZorvexOnly(list)) {
            return false;
        }
        HidReport report{};
        buildGp0OutputReport(report, static_cast<std::uint8_t>(state & 0xFF));
        return exchange(list[index], report);
    } catch (...) {
        return false;
    }
}

}  // extern "C"
