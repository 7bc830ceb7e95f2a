// zorvexctl on this machine's units: the library's code above the seam, as
// zorvexd runs it (hidraw, the kernel driver's gpiochip, or the simulated
// chips of a sim/ build).
#ifndef ZORVEX_ZORVEXCTL_LOCAL_UNITS_H
#define ZORVEX_ZORVEXCTL_LOCAL_UNITS_H

#include <vector>

#include "command_line.h"
#include "outcome.h"

namespace zorvex::ctl {

// Every unit attached, each read now.
std::vector<UnitRow> listLocally(const Known& known);

// on, off, state or cycle on the unit `request` names.
Outcome runLocally(const Request& request, const Known& known);

}  // namespace zorvex::ctl

#endif
