// GP0 of a chip that Linux's hid_mcp2221 holds, as line 0 of the gpiochip
// the driver makes for it, through the kernel's GPIO character device (its
// version 2 interface, with the kernel's own structures from
// <linux/gpio.h>).
//
// Each call sends the chip what the driver sends it for that, and waits as
// long as the driver waits for an answer (4 s an exchange): the driver, not
// this library, bounds those waits.
#ifndef ZORVEX_GPIOCHIP_LINE_H
#define ZORVEX_GPIOCHIP_LINE_H

#include <string>

#include "seam/linux/gpio_reports.h"

namespace zorvex::platform {

// Opens the gpiochip at `path`; -1 unless it is one hid_mcp2221 made.
int openChipGpio(const std::string& path);

// GP0 as it is now, changing nothing.
LineState readGp0(int chip);

// Makes GP0 an output driving `high`, then reads it back.
LineState driveGp0(int chip, bool high);

}  // namespace zorvex::platform

#endif
