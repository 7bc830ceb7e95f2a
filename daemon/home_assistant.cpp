#include "home_assistant.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "topics.h"

namespace zorvex::daemon {

std::string discoveryTopic(const Settings& settings, const std::string& unitId, Entity entity) {
    std::string object = settings.nodeId + "_" + unitId;
    std::replace(object.begin(), object.end(), '.', '_');
    return settings.discoveryPrefix + (entity == Entity::unitSwitch ? "/switch/" : "/button/") +
           object + "/config";
}

std::string discoveryConfig(const Settings& settings, const UnitSeen& unit, Entity entity) {
    const std::string prefix = nodeTopic(settings);
    const std::string topic = prefix + "/" + unit.id;
    const auto named = settings.unitNames.find(unit.id);
    const std::string id = "zorvex_" + settings.nodeId + "_" + unit.id;
    nlohmann::json config = {
        {"qos", kQos},
        {"availability_mode", "all"},
        {"availability", {{{"topic", prefix + "/status"}}, {{"topic", topic + "/available"}}}},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device",
         {{"identifiers", {id}},
          {"name", "DELOQ-72N " + unit.id + " on " + settings.nodeId},
          {"manufacturer", unit.manufacturer.empty() ? "zorvex" : unit.manufacturer},
          {"model", "DELOQ-72N"}}},
    };
    if (entity == Entity::unitSwitch) {
        config.update({
            {"unique_id", id},
            {"name", named != settings.unitNames.end() ? named->second : "DELOQ-72N " + unit.id},
            {"command_topic", topic + "/set"},
            {"state_topic", topic + "/state"},
            {"payload_on", "ON"},
            {"payload_off", "OFF"},
            {"state_on", "ON"},
            {"state_off", "OFF"},
        });
    } else {
        // Pressed, it sends an empty cycle: off for cycle_off_time, then on.
        config.update({
            {"unique_id", id + "_cycle"},
            {"name", "Power cycle"},
            {"command_topic", topic + "/cycle"},
            {"payload_press", ""},
            {"device_class", "restart"},
        });
    }
    return config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zorvex::daemon
