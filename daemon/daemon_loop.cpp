#include "daemon_loop.h"

#include <mosquitto.h>
#include <signal.h>

#include <algorithm>
#include <map>

#include "log.h"
#include "mqtt_session.h"
#include "requests.h"
#include "service_notify.h"
#include "topics.h"
#include "unit_tracker.h"

namespace zorvex::daemon {

namespace {

using Seconds = std::chrono::duration<double>;

// The longest the loop sleeps: it also keeps the connection alive and
// notices a connection that was not answered.
constexpr long long kLongestWaitMs = 1000;

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// A unit that a cycle has switched off, to be switched on again at `onAt`.
struct PendingCycle {
    Clock::time_point onAt;
    std::string answerTopic;
    std::string correlation;
};

struct Daemon {
    const Settings& settings;
    MqttSession session;
    UnitTracker tracker;
    std::map<std::string, PendingCycle> cycles;  // by unit id
};

void send(Daemon& daemon, const Publications& publications) {
    for (const Publication& publication : publications) {
        daemon.session.publish(publication.topic, publication.payload);
    }
}

// What a switch came to: done when the chip read back as asked.
struct Switched {
    bool done = false;
    std::string state;  // as read back: ON, OFF, or empty
    std::string reason;
};

void answer(Daemon& daemon, const std::string& topic, const std::string& correlation,
            const Switched& switched) {
    if (!topic.empty()) {
        daemon.session.answer(topic, answerPayload(switched.done, switched.state, switched.reason),
                              correlation);
    }
}

Switched refused(std::string reason) {
    return {false, {}, std::move(reason)};
}

// Switches the unit, reads it back, and publishes what it read. A chip that
// did not answer is not asked again: one wait is the bound.
Switched switchUnit(Daemon& daemon, TrackedUnit& tracked, const std::string& topic, bool on) {
    const units::Switch taken = units::switchGp0(tracked.unit.path, on);
    const Gp0 reading =
        taken == units::Switch::noAnswer ? Gp0::noAnswer : units::readGp0(tracked.unit.path);
    logLine("switched %s: asked %s, %s, read back %s", topic.c_str(), on ? "ON" : "OFF",
            taken == units::Switch::taken ? "taken" : "refused", units::describe(reading));
    send(daemon, unitSwitched(tracked, daemon.settings, reading));
    const std::string state = reading == Gp0::on ? "ON" : reading == Gp0::off ? "OFF" : "";
    if (taken == units::Switch::notGpio || reading == Gp0::notGpio) {
        return {false, state,
                "unit " + tracked.unit.id + " cannot be switched: its GP0 is not a GPIO; run " +
                    "zorvex_cui " + std::to_string(tracked.unit.chip) + " -set and replug it"};
    }
    if (taken == units::Switch::noAnswer || reading == Gp0::noAnswer) {
        return {false, state, "unit " + tracked.unit.id + " did not answer"};
    }
    if (taken == units::Switch::refused) {
        return {false, state, "unit " + tracked.unit.id + " refused the switch"};
    }
    const std::string asked = on ? "ON" : "OFF";
    if (state != asked) {
        return {
            false, state,
            "unit " + tracked.unit.id + " read back " + state + " after " + asked + " was asked"};
    }
    return {true, state, {}};
}

// A set or a cycle ends the wait of a cycle under way on the same unit.
void endCycle(Daemon& daemon, const std::string& unit) {
    const auto pending = daemon.cycles.find(unit);
    if (pending != daemon.cycles.end()) {
        logLine("cycle of unit %s ended during its wait", unit.c_str());
        answer(daemon, pending->second.answerTopic, pending->second.correlation,
               refused("a set or cycle message for unit " + unit + " came during the wait"));
        daemon.cycles.erase(pending);
    }
}

void handleRequest(Daemon& daemon, const Message& message) {
    const std::optional<Request> request = readRequest(daemon.settings, message);
    if (!request) {
        return;
    }
    const std::string& topic = message.topic;
    // An answer asked for on a topic zorvexd may not use marks a request
    // that is not to be trusted: nothing is done, and nothing answered.
    if (!request->answerRefusal.empty()) {
        logLine("refused %s: its answer is asked for on %s", topic.c_str(),
                request->answerRefusal.c_str());
        return;
    }
    const auto reply = [&](const Switched& switched) {
        answer(daemon, request->answerTopic, request->correlation, switched);
    };
    if (!request->refusal.empty()) {
        logLine("refused %s: %s", topic.c_str(), request->refusal.c_str());
        reply(refused(request->refusal));
        return;
    }
    TrackedUnit* tracked = presentUnit(daemon.tracker, request->unit);
    if (tracked == nullptr) {
        logLine("refused %s: no unit %s here", topic.c_str(), printable(request->unit).c_str());
        reply(refused("no unit " + request->unit + " here"));
        return;
    }
    endCycle(daemon, request->unit);
    if (request->command == Command::set) {
        reply(switchUnit(daemon, *tracked, topic, request->on));
        return;
    }
    const Switched off = switchUnit(daemon, *tracked, topic, false);
    if (!off.done) {
        reply(off);
        return;
    }
    daemon.cycles[request->unit] = {
        Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(request->offSeconds)),
        request->answerTopic, request->correlation};
}

// Switches on again the units whose cycle's wait is over.
void finishCycles(Daemon& daemon) {
    const Clock::time_point now = Clock::now();
    for (auto pending = daemon.cycles.begin(); pending != daemon.cycles.end();) {
        if (pending->second.onAt > now) {
            ++pending;
            continue;
        }
        const std::string& unit = pending->first;
        TrackedUnit* tracked = presentUnit(daemon.tracker, unit);
        const std::string topic = unitTopic(daemon.settings, unit, "cycle");
        answer(daemon, pending->second.answerTopic, pending->second.correlation,
               tracked != nullptr ? switchUnit(daemon, *tracked, topic, true)
                                  : refused("unit " + unit + " went during the cycle"));
        pending = daemon.cycles.erase(pending);
    }
}

// When the loop has something to do next: the poll, or a cycle's end.
Clock::time_point nextDue(const Daemon& daemon, Clock::time_point nextPoll) {
    Clock::time_point due = nextPoll;
    for (const auto& entry : daemon.cycles) {
        due = std::min(due, entry.second.onAt);
    }
    return due;
}

// Reads what the broker has sent by now, and acts on it.
void serveMessages(Daemon& daemon) {
    daemon.session.serveNow();
    while (!daemon.session.messages.empty()) {
        const Message message = std::move(daemon.session.messages.front());
        daemon.session.messages.pop_front();
        handleRequest(daemon, message);
    }
}

void poll(Daemon& daemon, bool force) {
    const std::vector<UnitSeen> seen = units::findUnits();
    const Clock::time_point now = Clock::now();
    for (const UnitSeen& unit : seen) {
        send(daemon, unitPolled(daemon.tracker, unit, units::readGp0(unit.path), force,
                                daemon.session.connected()));
        // A set message waits for one chip's read at most, not a whole poll.
        serveMessages(daemon);
    }
    send(daemon, unitsMissing(daemon.tracker, seen, now, force, daemon.session.connected()));
}

// Every retained topic again, from fresh reads of the chips.
void afterConnect(Daemon& daemon) {
    daemon.session.subscribe(nodeTopic(daemon.settings) + "/+/set");
    daemon.session.subscribe(nodeTopic(daemon.settings) + "/+/cycle");
    daemon.session.publish(statusTopic(daemon.settings), "online");
    forgetPublished(daemon.tracker);
    poll(daemon, true);
}

Clock::time_point pollAfter(const Settings& settings) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(Seconds(settings.pollInterval));
}

int run(Daemon& daemon) {
    if (!daemon.session.setUp()) {
        return 2;
    }
    struct sigaction stop {};
    stop.sa_handler = requestStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    poll(daemon, false);
    notifyReady();
    Clock::time_point nextPoll = pollAfter(daemon.settings);
    while (stopRequested == 0) {
        daemon.session.connectIfDue();
        // Wait for the broker's next packet, or until the poll or the next
        // connection attempt is due; a signal ends the wait early.
        const Link link = daemon.session.link();
        const bool linked = link == Link::up || link == Link::connecting;
        const Clock::time_point due =
            linked ? nextDue(daemon, nextPoll)
                   : std::min(nextDue(daemon, nextPoll), daemon.session.nextAttempt());
        const auto untilDue =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        if (daemon.session.serve(
                static_cast<int>(std::clamp<long long>(untilDue, 0, kLongestWaitMs)))) {
            afterConnect(daemon);
        }
        serveMessages(daemon);
        finishCycles(daemon);
        if (Clock::now() >= nextPoll) {
            poll(daemon, false);
            nextPoll = pollAfter(daemon.settings);
        }
    }
    notifyStopping();
    daemon.session.close(statusTopic(daemon.settings));
    logLine("stopped");
    return 0;
}

}  // namespace

int runDaemon(const Settings& settings) {
    mosquitto_lib_init();
    int exitCode = 0;
    {
        Daemon daemon{settings, MqttSession(settings), UnitTracker{settings, {}}, {}};
        exitCode = run(daemon);
    }
    mosquitto_lib_cleanup();
    return exitCode;
}

}  // namespace zorvex::daemon
