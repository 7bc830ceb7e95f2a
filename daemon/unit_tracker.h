// The units zorvexd has seen, and what it last published for each: a unit
// appears, is polled, is switched and goes, and a topic is published only
// when what it would say changed (or everything again, after a reconnect).
// The tracker decides what to publish; the loop sends it.
#ifndef ZORVEX_DAEMON_UNIT_TRACKER_H
#define ZORVEX_DAEMON_UNIT_TRACKER_H

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "settings.h"
#include "units/unit_inventory.h"

namespace zorvex::daemon {

using units::Gp0;
using units::UnitSeen;

enum class Presence { present, gone };
enum class Availability { unpublished, online, offline };
enum class PublishedState { unpublished, on, off };
enum class DiscoveryConfig { none, published };

struct TrackedUnit {
    UnitSeen unit;
    Presence presence = Presence::gone;
    Availability available = Availability::unpublished;
    PublishedState state = PublishedState::unpublished;
    DiscoveryConfig discovery = DiscoveryConfig::none;
    std::chrono::steady_clock::time_point goneSince;
    // "cannot be switched" is logged once while it lasts.
    bool refusalLogged = false;
};

// One retained message to publish.
struct Publication {
    std::string topic;
    std::string payload;
};
using Publications = std::vector<Publication>;

struct UnitTracker {
    const Settings& settings;
    std::map<std::string, TrackedUnit> units;
};

// A unit found by a poll, its GP0 just read: its state and availability
// where they changed (all of them with `force`), and its discovery config
// the first time, when `connected`.
Publications unitPolled(UnitTracker& tracker, const UnitSeen& unit, Gp0 reading, bool force,
                        bool connected);

// The units the poll did not find: offline, and their discovery config
// emptied once they have been gone long enough, when `connected`.
Publications unitsMissing(UnitTracker& tracker, const std::vector<UnitSeen>& seen,
                          std::chrono::steady_clock::time_point now, bool force, bool connected);

// A unit just switched, its GP0 read back: the state is published even when
// unchanged, so that the asker learns what the chip did.
Publications unitSwitched(TrackedUnit& tracked, const Settings& settings, Gp0 reading);

// The unit `id` when it is plugged in now; nullptr otherwise.
TrackedUnit* presentUnit(UnitTracker& tracker, const std::string& id);

// After a reconnect every topic is published again. A gone unit's config
// stays due for removal: the broker may have kept it.
void forgetPublished(UnitTracker& tracker);

}  // namespace zorvex::daemon

#endif
