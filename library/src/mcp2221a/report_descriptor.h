// The MCP2221A's HID report descriptor: vendor page 0xFF00, one 64-byte
// input and one 64-byte output report, no report IDs. Every emulated chip
// set hands it out as the chip does (plain data: the HID minidriver, which
// has no runtime, includes it too).
#ifndef ZORVEX_MCP2221A_REPORT_DESCRIPTOR_H
#define ZORVEX_MCP2221A_REPORT_DESCRIPTOR_H

namespace zorvex::mcp2221a {

constexpr unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x19, 0x01,        //   Usage Minimum (1)
    0x29, 0x40,        //   Usage Maximum (64)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x81, 0x00,        //   Input (Data, Array, Absolute)
    0x19, 0x01,        //   Usage Minimum (1)
    0x29, 0x40,        //   Usage Maximum (64)
    0x91, 0x00,        //   Output (Data, Array, Absolute)
    0xC0,              // End Collection
};

}  // namespace zorvex::mcp2221a

#endif
