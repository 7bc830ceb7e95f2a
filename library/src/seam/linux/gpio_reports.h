// What the reports zorvex sends become for a chip that Linux's hid_mcp2221
// holds, and the replies they get. The driver lets no report through; it
// drives and reads the chip's GP pins as lines of its gpiochip, sending the
// chip Set GPIO Output Values and Get GPIO Values itself. So a report that
// switches GP0 becomes a drive of line 0, one that reads the pins a read of
// it, and their outcome the reply the chip would have given. Anything else
// (a flash write) cannot reach the chip.
#ifndef ZORVEX_GPIO_REPORTS_H
#define ZORVEX_GPIO_REPORTS_H

#include <optional>

#include "hid_report.h"

namespace zorvex::platform {

enum class LineAsk { driveLow, driveHigh, read, unsupported };

// What `report` asks of GP0's line. Set GPIO Output Values that makes GP0 a
// low or high output and leaves the other pins alone is a drive; Get GPIO
// Values a read.
LineAsk lineAskOf(const HidReport& report);

// GP0 as read back through the line, or why it could not be.
enum class LineState { low, high, notGpio, noAnswer };

// The chip's reply to `report`, given what became of its line: an echo
// for a drive read back as asked, GP0's refusal for a pin that is not
// general-purpose I/O, GP0's value (an output, as a unit's is) for a read.
// None for a chip that did not answer or a drive that did not read back as
// asked. Pins other than GP0 are not read: their bytes in a Get GPIO
// Values reply say that they are not general-purpose I/O.
std::optional<HidReport> replyThroughLine(const HidReport& report, LineState state);

}  // namespace zorvex::platform

#endif
