// Home Assistant's MQTT discovery: each unit a switch, with its config
// retained under the discovery prefix.
#ifndef ZORVEX_DAEMON_HOME_ASSISTANT_H
#define ZORVEX_DAEMON_HOME_ASSISTANT_H

#include <string>

#include "settings.h"
#include "unit_inventory.h"

namespace zorvex::daemon {

// "<prefix>/switch/<node>_<unit>/config"; object ids hold no ".".
std::string discoveryTopic(const Settings& settings, const std::string& unitId);

// The unit's config, as JSON text on one line: its topics under
// "<base>/<node>/<unit>", available while both zorvexd and the unit are.
std::string discoveryConfig(const Settings& settings, const UnitSeen& unit);

}  // namespace zorvex::daemon

#endif
