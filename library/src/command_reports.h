// The MCP2221A commands the library sends.
#ifndef ZORVEX_COMMAND_REPORTS_H
#define ZORVEX_COMMAND_REPORTS_H

#include <cstdint>

#include "hid_report.h"

namespace zorvex {

// Write Flash Data, USB product string: "DELOQ-72N SWITCHER". Zeroes the
// report first.
void buildProductStringReport(HidReport& report);

// Write Flash Data, GP power-up settings: GP0, GP1, GP3 low outputs, GP2 as
// it leaves the factory. Rewrites the command's own bytes only; the rest of
// the report stays as it was.
void buildGpSettingsReport(HidReport& report);

// Set GPIO Output Values: GP0 an output driven to `state`, the other pins
// left alone. Zeroes the report first.
void buildGp0OutputReport(HidReport& report, std::uint8_t state);

// Get GPIO Values: every pin's value and direction. Zeroes the report first.
void buildGpioValuesReport(HidReport& report);

}  // namespace zorvex

#endif
