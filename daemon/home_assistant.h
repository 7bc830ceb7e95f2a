// Home Assistant's MQTT discovery: each unit a switch and a button that
// power-cycles it, their configs retained under the discovery prefix.
#ifndef ZORVEX_DAEMON_HOME_ASSISTANT_H
#define ZORVEX_DAEMON_HOME_ASSISTANT_H

#include <string>

#include "settings.h"
#include "units/unit_inventory.h"

namespace zorvex::daemon {

using units::Gp0;
using units::UnitSeen;

// Each unit is two entities: a switch, and a button ("Power cycle").
enum class Entity { unitSwitch, cycleButton };

// "<prefix>/switch/<node>_<unit>/config" or "<prefix>/button/...";
// object ids hold no ".".
std::string discoveryTopic(const Settings& settings, const std::string& unitId, Entity entity);

// The entity's config, as JSON text on one line: its topics under
// "<base>/<node>/<unit>", available while both zorvexd and the unit are.
std::string discoveryConfig(const Settings& settings, const UnitSeen& unit, Entity entity);

constexpr Entity kEntities[] = {Entity::unitSwitch, Entity::cycleButton};

}  // namespace zorvex::daemon

#endif
