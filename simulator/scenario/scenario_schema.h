// What a scenario file may hold, and how its JSON maps to the emulated
// chips and back.
#ifndef ZORVEX_SIM_SCENARIO_SCHEMA_H
#define ZORVEX_SIM_SCENARIO_SCHEMA_H

#include <nlohmann/json.hpp>
#include <string>

#include "chip/mcp2221a_emulator.h"

namespace zorvex::sim {

// A scenario nests five deep (file, devices, device, flash, pins); anything
// far deeper is no scenario, and is refused before a parser or writer could
// recurse through it.
constexpr int kMaxNesting = 32;

// Whether `text` nests its brackets `limit` deep at most, strings aside.
bool nestsWithin(const std::string& text, int limit);

// What is wrong with a parsed file, or empty text when nothing is.
std::string problemWith(const nlohmann::json& document);

// A device entry that passed problemWith, with every default filled in.
SimChip chipFromJson(const nlohmann::json& entry);

// Every field of a chip, as an entry of the file holds it.
nlohmann::json toJson(const SimChip& chip);

// Writes into `entry` the fields of `now` that differ from `before` (every
// field when there is no `before`).
void mergeChanges(nlohmann::json& entry, const SimChip& now, const SimChip* before);

}  // namespace zorvex::sim

#endif
