// The scenario file's text, written as nlohmann's dump lays it out (on one
// line, or indented by two per level), with the device entries taken from
// texts made beforehand: only a device that changed costs its formatting.
#ifndef ZORVEX_SIM_SCENARIO_WRITER_H
#define ZORVEX_SIM_SCENARIO_WRITER_H

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace zorvex::sim {

// `value` as the whole document's dump shows it `depth` levels deep, its
// first line without the indentation the line it starts on already has.
std::string dumpNested(const nlohmann::json& value, bool compact, unsigned depth);

// `document` with its "devices" entries written as `entryTexts`.
void writeDocument(std::ostream& out, const nlohmann::json& document, bool compact,
                   const std::vector<std::string>& entryTexts);

}  // namespace zorvex::sim

#endif
