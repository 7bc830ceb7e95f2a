// zorvexctl list's output: a line per unit for people and shell scripts,
// or JSON for programs.
#ifndef ZORVEX_ZORVEXCTL_LIST_OUTPUT_H
#define ZORVEX_ZORVEXCTL_LIST_OUTPUT_H

#include <string>
#include <vector>

#include "outcome.h"

namespace zorvex::ctl {

// Tab-separated: id, ON/OFF (or -), switchable or not, name (or -), product.
std::string listText(const std::vector<UnitRow>& rows);

// An array of objects: id, name (null for none), product, state (ON, OFF
// or null), switchable.
std::string listJson(const std::vector<UnitRow>& rows);

}  // namespace zorvex::ctl

#endif
