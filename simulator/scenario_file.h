// The scenario file: a JSON description of the attached devices that the
// simulated library reads at every enumeration and writes back after every
// report, so that chip state lasts across calls and processes.
#ifndef ZORVEX_SIM_SCENARIO_FILE_H
#define ZORVEX_SIM_SCENARIO_FILE_H

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "mcp2221a_emulator.h"

namespace zorvex::sim {

// The environment variable that names the scenario file.
constexpr const char* kScenarioVariable = "ZORVEX_SIM_DEVICES";

struct Scenario {
    // The file as read, so that fields the emulator does not know survive a
    // write-back.
    nlohmann::json document;
    SimDevices devices;
};

// Reads the file; nullopt when it is missing or is not a valid scenario.
std::optional<Scenario> loadScenario(const std::string& path);

// Merges the devices into the document and replaces the file with it.
bool saveScenario(const std::string& path, Scenario& scenario);

// The file named by ZORVEX_SIM_DEVICES; empty when the variable is unset.
std::string scenarioPath();

}  // namespace zorvex::sim

#endif
