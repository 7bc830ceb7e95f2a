// The scenario file: a JSON description of the attached devices that the
// simulated library (and the Wine stand-ins) read, and write back after a
// report a chip received, so that chip state lasts across calls and
// processes, however many of them share the file.
#ifndef ZORVEX_SIM_SCENARIO_FILE_H
#define ZORVEX_SIM_SCENARIO_FILE_H

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

// The exclusive lock that every read-modify-write of a scenario file holds,
// from the read to the rename: a lock file beside the file's target, taken
// with flock on POSIX systems and LockFileEx on Windows.
class ScenarioLock {
  public:
    explicit ScenarioLock(const std::string& path);
    ~ScenarioLock();
    ScenarioLock(const ScenarioLock&) = delete;
    ScenarioLock& operator=(const ScenarioLock&) = delete;

    bool held() const { return held_; }

  private:
    std::intptr_t file_ = -1;
    bool held_ = false;
};

// What tells one version of a file from another: its identity, size and
// modification time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t identity = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp& other) const;
};

// The file's stamp now; nullopt when there is no such file.
std::optional<FileStamp> stampOf(const std::string& path);

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

// The file named by ZORVEX_SIM_DEVICES; empty when the variable is unset.
std::string scenarioPath();

}  // namespace zorvex::sim

#endif
