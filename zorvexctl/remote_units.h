// zorvexctl through a broker, asking the zorvexd of a node, and the
// settings it shares with zorvexd. The build picks the implementation:
// broker_mqtt.cpp with libmosquitto and zorvexd's settings, or
// broker_none.cpp.
#ifndef ZORVEX_ZORVEXCTL_REMOTE_UNITS_H
#define ZORVEX_ZORVEXCTL_REMOTE_UNITS_H

#include <string>
#include <vector>

#include "command_line.h"
#include "outcome.h"

namespace zorvex::ctl {

// Reads the settings file `request` names (or zorvexd's default one where
// it exists): unit names, the cycle's off time. False, with `problem` one
// line, for a file that cannot be read or holds a bad setting.
bool readKnown(const Request& request, Known& known, std::string& problem);

// The command, asked of zorvexd through the broker; for list, the units
// zorvexd announces go to `rows`.
Outcome runThroughBroker(const Request& request, const Known& known, std::vector<UnitRow>* rows);

}  // namespace zorvex::ctl

#endif
