#include "scenario/scenario_delivery.h"

#include "scenario/scenario_lock.h"

namespace zorvex::sim {

void refresh(CachedScenario& cached, const std::string& path) {
    const std::optional<FileStamp> stamp = stampOf(path);
    if (path == cached.path && stamp == cached.stamp && (stamp || !cached.scenario)) {
        return;
    }
    cached.path = path;
    cached.stamp = stamp;
    cached.scenario = stamp ? loadScenario(path) : std::nullopt;
}

Delivery deliverReport(const std::string& path, std::size_t index, const HidReport& report,
                       CachedScenario* cache) {
    const ScenarioLock lock(path);
    if (!lock.held()) {
        return {};
    }
    // Under the lock the file is as some writer left it; a cached copy of
    // that very version (each write is a new file) saves parsing it again,
    // and the chip works on that copy itself rather than on a copy of it.
    std::optional<Scenario> loaded;
    Scenario* scenario = nullptr;
    if (cache != nullptr) {
        refresh(*cache, path);
        scenario = cache->scenario ? &*cache->scenario : nullptr;
    } else if ((loaded = loadScenario(path))) {
        scenario = &*loaded;
    }
    // A device unplugged since it was opened takes nothing.
    if (scenario == nullptr || index >= scenario->devices.chips.size() ||
        !scenario->devices.chips[index].present) {
        return {};
    }
    Delivery delivery;
    delivery.delivered = true;
    std::optional<HidReport> reply = receiveReport(scenario->devices.chips[index], report);
    const bool saved = saveScenario(path, *scenario, index);
    if (saved) {
        delivery.reply = reply;
    }
    if (cache != nullptr && saved) {
        cache->stamp = stampOf(path);
    } else if (cache != nullptr) {
        // The copy holds a report the file never took: read the file again.
        *cache = CachedScenario{};
        refresh(*cache, path);
    }
    return delivery;
}

}  // namespace zorvex::sim
