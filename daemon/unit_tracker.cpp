#include "unit_tracker.h"

#include <algorithm>

#include "home_assistant.h"
#include "log.h"
#include "topics.h"

namespace zorvex::daemon {

namespace {

using Seconds = std::chrono::duration<double>;

bool isOnline(Gp0 reading) {
    return reading == Gp0::on || reading == Gp0::off;
}

PublishedState stateOf(Gp0 reading) {
    return reading == Gp0::on    ? PublishedState::on
           : reading == Gp0::off ? PublishedState::off
                                 : PublishedState::unpublished;
}

const char* stateText(PublishedState state) {
    return state == PublishedState::on ? "ON" : "OFF";
}

const char* availabilityText(Availability available) {
    return available == Availability::online ? "online" : "offline";
}

// The unit's state when it is known and changed, then its availability
// when it changed; with `force`, both whatever they were.
void publishChanges(TrackedUnit& tracked, const Settings& settings, Availability available,
                    PublishedState state, bool force, Publications& out) {
    if (state != PublishedState::unpublished && (force || state != tracked.state)) {
        out.push_back({unitTopic(settings, tracked.unit.id, "state"), stateText(state)});
        tracked.state = state;
    }
    if (force || available != tracked.available) {
        out.push_back(
            {unitTopic(settings, tracked.unit.id, "available"), availabilityText(available)});
        tracked.available = available;
    }
}

}  // namespace

Publications unitPolled(UnitTracker& tracker, const UnitSeen& unit, Gp0 reading, bool force,
                        bool connected) {
    const Settings& settings = tracker.settings;
    TrackedUnit& tracked = tracker.units[unit.id];
    if (tracked.presence == Presence::gone) {
        logLine("unit %s appeared (chip %zu)", unit.id.c_str(), unit.chip);
    }
    tracked.unit = unit;
    tracked.presence = Presence::present;
    if (reading == Gp0::notGpio && !tracked.refusalLogged) {
        logLine(
            "unit %s cannot be switched: its GP0 is no general-purpose output; run "
            "zorvex_cui %zu -set and replug it",
            unit.id.c_str(), unit.chip);
    }
    tracked.refusalLogged = reading == Gp0::notGpio;
    Publications out;
    publishChanges(tracked, settings,
                   isOnline(reading) ? Availability::online : Availability::offline,
                   stateOf(reading), force, out);
    if (settings.discovery && tracked.discovery == DiscoveryConfig::none && connected) {
        for (const Entity entity : kEntities) {
            out.push_back({discoveryTopic(settings, unit.id, entity),
                           discoveryConfig(settings, unit, entity)});
        }
        tracked.discovery = DiscoveryConfig::published;
    }
    return out;
}

Publications unitsMissing(UnitTracker& tracker, const std::vector<UnitSeen>& seen,
                          std::chrono::steady_clock::time_point now, bool force, bool connected) {
    const Settings& settings = tracker.settings;
    Publications out;
    for (auto& entry : tracker.units) {
        // Named, not bound: clang 14's lambdas cannot capture a structured binding.
        const std::string& id = entry.first;
        TrackedUnit& tracked = entry.second;
        const bool stillThere = std::any_of(seen.begin(), seen.end(),
                                            [&](const UnitSeen& unit) { return unit.id == id; });
        if (stillThere) {
            continue;
        }
        if (tracked.presence == Presence::present) {
            logLine("unit %s gone", id.c_str());
            tracked.presence = Presence::gone;
            tracked.goneSince = now;
        }
        publishChanges(tracked, settings, Availability::offline, PublishedState::unpublished, force,
                       out);
        if (Seconds(now - tracked.goneSince).count() >= settings.discoveryRemoval &&
            settings.discovery && tracked.discovery == DiscoveryConfig::published && connected) {
            for (const Entity entity : kEntities) {
                out.push_back({discoveryTopic(settings, id, entity), ""});
            }
            tracked.discovery = DiscoveryConfig::none;
            logLine("unit %s gone for %.0f s: its discovery config removed", id.c_str(),
                    settings.discoveryRemoval);
        }
    }
    return out;
}

Publications unitSwitched(TrackedUnit& tracked, const Settings& settings, Gp0 reading) {
    Publications out;
    if (isOnline(reading)) {
        tracked.state = stateOf(reading);
        out.push_back({unitTopic(settings, tracked.unit.id, "state"), stateText(tracked.state)});
    }
    publishChanges(tracked, settings,
                   isOnline(reading) ? Availability::online : Availability::offline,
                   PublishedState::unpublished, false, out);
    return out;
}

TrackedUnit* presentUnit(UnitTracker& tracker, const std::string& id) {
    const auto found = tracker.units.find(id);
    return found != tracker.units.end() && found->second.presence == Presence::present
               ? &found->second
               : nullptr;
}

void forgetPublished(UnitTracker& tracker) {
    for (auto& [id, tracked] : tracker.units) {
        tracked.available = Availability::unpublished;
        tracked.state = PublishedState::unpublished;
        if (tracked.presence == Presence::present) {
            tracked.discovery = DiscoveryConfig::none;
        }
    }
}

}  // namespace zorvex::daemon
