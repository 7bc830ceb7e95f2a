// The scenario file: a JSON description of the attached devices that the
// simulated library (and the Wine stand-ins) read, and write back after a
// report a chip received, so that chip state lasts across calls and
// processes, however many of them share the file.
#ifndef ZORVEX_SIM_SCENARIO_STORE_H
#define ZORVEX_SIM_SCENARIO_STORE_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "chip/mcp2221a_emulator.h"

namespace zorvex::sim {

// The environment variable that names the scenario file.
constexpr const char* kScenarioVariable = "ZORVEX_SIM_DEVICES";

struct Scenario {
    // The file as read, so that fields the emulator does not know, and
    // defaults the file leaves out, survive a write-back.
    nlohmann::json document;
    SimDevices devices;
    // The devices as read or last written: only what differs is written back.
    SimDevices written;
    // Written back as it came: on one line, or indented.
    bool compact = false;
    // Each device entry of `document` as the file's text holds it, so that
    // writing back after one device changed formats that device only.
    std::vector<std::string> entryTexts;
};

// Reads the file; nullopt when it is missing or is not a valid scenario (not
// a regular file, not JSON, nested deeper than a scenario is, a field of the
// wrong type or out of range). `problem`, when given, then says why.
std::optional<Scenario> loadScenario(const std::string& path, std::string* problem = nullptr);

// Replaces the file (a symlink's target) with the scenario, writing only the
// device fields that changed, through a temporary file renamed over it;
// with `onlyDevice`, only that device is looked at for changes. False, with
// the file untouched, when it may not be replaced (no write permission) or
// the writing failed. Call it holding a ScenarioLock.
bool saveScenario(const std::string& path, Scenario& scenario,
                  std::optional<std::size_t> onlyDevice = std::nullopt);

// The file named by ZORVEX_SIM_DEVICES; empty when the variable is unset.
std::string scenarioPath();

}  // namespace zorvex::sim

#endif
