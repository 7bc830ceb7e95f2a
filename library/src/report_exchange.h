// One command sent to a chip and its reply read back.
#ifndef ZORVEX_REPORT_EXCHANGE_H
#define ZORVEX_REPORT_EXCHANGE_H

#include <cstdint>

#include "device_list.h"
#include "hid_report.h"

namespace zorvex {

// How long a chip has to answer before the exchange counts as failed.
constexpr std::uint32_t kReplyTimeoutMs = 1000;

// Opens the device, writes `report`, reads up to `replyLength` bytes of the
// reply into `reply` and closes the device; `replyLength` then holds the
// bytes read. True only when the whole report went out and the chip answered
// in time, echoing the command with status 0x00 (for Set GPIO Output Values,
// also accepting the change to GP0). Replies that answer another program's
// command to the chip are read past, within the same time.
bool transferReport(const DevicePath& path, const HidReport* report, HidReport* reply,
                    std::uint32_t& replyLength);

}  // namespace zorvex

#endif
