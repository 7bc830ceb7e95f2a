// One HID report exchanged with an MCP2221A.
#ifndef ZORVEX_HID_REPORT_H
#define ZORVEX_HID_REPORT_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "mcp2221a/protocol.h"

namespace zorvex {

// Byte 0 is the report ID (always 0), bytes 1 to 64 one command or reply.
using mcp2221a::kHidReportSize;
using HidReport = std::array<std::uint8_t, kHidReportSize>;

}  // namespace zorvex

#endif
