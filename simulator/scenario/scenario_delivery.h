// A report delivered to a device of a scenario file: read, answered and
// written back as one transaction under the file's lock, on a copy of the
// file that a process keeps until the file changes.
#ifndef ZORVEX_SIM_SCENARIO_DELIVERY_H
#define ZORVEX_SIM_SCENARIO_DELIVERY_H

#include <cstddef>
#include <optional>
#include <string>

#include "hid_report.h"
#include "scenario/file_stamp.h"
#include "scenario/scenario_store.h"

namespace zorvex::sim {

// A process's copy of a scenario file, read again only when it changed.
struct CachedScenario {
    std::string path;
    std::optional<FileStamp> stamp;
    std::optional<Scenario> scenario;
};

// Brings `cached` up to the file at `path`: re-reads it when the path or the
// file's stamp differ from what was read last.
void refresh(CachedScenario& cached, const std::string& path);

// What became of a report delivered to a scenario file's device.
struct Delivery {
    bool delivered = false;          // the file is a scenario and has that device
    std::optional<HidReport> reply;  // the chip's answer, once the file holds what it did
};

// Delivers `report` to device `index` of the file at `path` as it is now,
// under the file's lock, and writes back what it changed; a device that is
// not plugged in takes nothing. A file that
// cannot be written makes a chip that never answers. With `cache`, the chip
// works on this process's copy, which stays the file's.
Delivery deliverReport(const std::string& path, std::size_t index, const HidReport& report,
                       CachedScenario* cache = nullptr);

}  // namespace zorvex::sim

#endif
