#include "daemon_loop.h"

#include <mosquitto.h>
#include <signal.h>

#include <algorithm>

#include "log.h"
#include "mqtt_session.h"
#include "service_notify.h"
#include "set_commands.h"
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

struct Daemon {
    const Settings& settings;
    MqttSession session;
    UnitTracker tracker;
};

void send(Daemon& daemon, const Publications& publications) {
    for (const Publication& publication : publications) {
        daemon.session.publish(publication.topic, publication.payload);
    }
}

void handleSet(Daemon& daemon, const Message& message) {
    const std::optional<std::string> id = unitOfSetTopic(nodeTopic(daemon.settings), message.topic);
    if (!id) {
        return;
    }
    if (message.retained) {
        logLine("refused %s: a retained set message switches nothing", message.topic.c_str());
        return;
    }
    const std::optional<bool> on = switchWord(message.payload);
    if (!on) {
        logLine("refused %s: \"%s\" is not ON, OFF, on, off, 1 or 0", message.topic.c_str(),
                printable(message.payload).c_str());
        return;
    }
    TrackedUnit* tracked = presentUnit(daemon.tracker, *id);
    if (tracked == nullptr) {
        logLine("refused %s: no unit %s here", message.topic.c_str(), printable(*id).c_str());
        return;
    }
    const bool taken = switchGp0(tracked->unit.path, *on);
    const Gp0 reading = readGp0(tracked->unit.path);
    logLine("switched %s: asked %s, %s, read back %s", message.topic.c_str(), *on ? "ON" : "OFF",
            taken ? "taken" : "refused", describe(reading));
    send(daemon, unitSwitched(*tracked, daemon.settings, reading));
}

// Reads what the broker has sent by now, and acts on it.
void serveMessages(Daemon& daemon) {
    daemon.session.serveNow();
    while (!daemon.session.messages.empty()) {
        const Message message = std::move(daemon.session.messages.front());
        daemon.session.messages.pop_front();
        handleSet(daemon, message);
    }
}

void poll(Daemon& daemon, bool force) {
    const std::vector<UnitSeen> seen = findUnits();
    const Clock::time_point now = Clock::now();
    for (const UnitSeen& unit : seen) {
        send(daemon, unitPolled(daemon.tracker, unit, readGp0(unit.path), force,
                                daemon.session.connected()));
        // A set message waits for one chip's read at most, not a whole poll.
        serveMessages(daemon);
    }
    send(daemon, unitsMissing(daemon.tracker, seen, now, force, daemon.session.connected()));
}

// Every retained topic again, from fresh reads of the chips.
void afterConnect(Daemon& daemon) {
    daemon.session.subscribe(nodeTopic(daemon.settings) + "/+/set");
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
            linked ? nextPoll : std::min(nextPoll, daemon.session.nextAttempt());
        const auto untilDue =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        if (daemon.session.serve(
                static_cast<int>(std::clamp<long long>(untilDue, 0, kLongestWaitMs)))) {
            afterConnect(daemon);
        }
        serveMessages(daemon);
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
        Daemon daemon{settings, MqttSession(settings), UnitTracker{settings, {}}};
        exitCode = run(daemon);
    }
    mosquitto_lib_cleanup();
    return exitCode;
}

}  // namespace zorvex::daemon
