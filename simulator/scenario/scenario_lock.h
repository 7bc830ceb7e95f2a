// The exclusive lock that every read-modify-write of a scenario file holds,
// from the read to the rename: a lock file beside the file's target, taken
// with flock on POSIX systems and LockFileEx on Windows.
#ifndef ZORVEX_SIM_SCENARIO_LOCK_H
#define ZORVEX_SIM_SCENARIO_LOCK_H

#include <cstdint>
#include <string>

namespace zorvex::sim {

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

}  // namespace zorvex::sim

#endif
