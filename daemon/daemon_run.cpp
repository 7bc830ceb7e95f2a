#include "daemon_run.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "service_notify.h"
#include "unit_inventory.h"

namespace zorvex::daemon {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kLongestSetPayload = 16;
constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
constexpr double kFirstRetry = 1.0;
constexpr double kLastRetry = 30.0;
constexpr double kConnectAnswerSeconds = 10.0;
// The longest the loop sleeps: it also keeps the connection alive and
// notices a connection that was not answered.
constexpr long long kLongestWaitMs = 1000;

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

// One line per event, for journald.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// What libmosquitto's callbacks hand over to the loop.
struct Events {
    bool connected = false;
    bool justConnected = false;
    bool lost = false;
    int refusal = 0;
    std::deque<Message> messages;
};

void onConnect(mosquitto*, void* data, int result) {
    auto& events = *static_cast<Events*>(data);
    if (result == 0) {
        events.connected = true;
        events.justConnected = true;
    } else {
        events.refusal = result;
    }
}

void onDisconnect(mosquitto*, void* data, int result) {
    auto& events = *static_cast<Events*>(data);
    events.connected = false;
    events.lost = result != 0;
}

void onMessage(mosquitto*, void* data, const mosquitto_message* message) {
    auto& events = *static_cast<Events*>(data);
    Message copy;
    copy.topic = message->topic != nullptr ? message->topic : "";
    if (message->payload != nullptr && message->payloadlen > 0) {
        copy.payload.assign(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(message->payloadlen));
    }
    copy.retained = message->retain;
    events.messages.push_back(std::move(copy));
}

struct MosquittoFree {
    void operator()(mosquitto* client) const { mosquitto_destroy(client); }
};

// A unit as last published.
struct Tracked {
    UnitSeen unit;
    bool present = false;
    std::string available;  // "online", "offline"; empty: never published
    std::string state;      // "ON", "OFF"; empty: never published
    bool refusalLogged = false;
    bool discoveryPublished = false;
    Clock::time_point goneSince;
};

// ON/on/1 or OFF/off/0; anything else (other text, invalid UTF-8) is
// refused.
std::optional<bool> switchWord(const std::string& payload) {
    if (payload == "ON" || payload == "on" || payload == "1") {
        return true;
    }
    if (payload == "OFF" || payload == "off" || payload == "0") {
        return false;
    }
    return std::nullopt;
}

std::string printable(const std::string& payload) {
    std::string out;
    for (const char c : payload.substr(0, 32)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return payload.size() > 32 ? out + "..." : out;
}

class Daemon {
  public:
    explicit Daemon(const Options& options)
        : options_(options), prefix_(options.baseTopic + "/" + options.nodeId) {}

    int run();

  private:
    bool setUp();
    void connectIfDue();
    void retryLater();
    void afterConnect();
    void poll(bool force);
    void serviceMessages();
    void handle(const Message& message);
    void publish(const std::string& topic, const std::string& payload, bool retain = true);
    void publishUnit(Tracked& tracked, const std::string& available, const std::string& state,
                     bool force);
    void publishDiscovery(Tracked& tracked);
    void removeDiscovery(Tracked& tracked);
    std::string discoveryTopic(const Tracked& tracked) const;

    const Options& options_;
    const std::string prefix_;
    Events events_;
    std::unique_ptr<mosquitto, MosquittoFree> client_;
    std::map<std::string, Tracked> units_;
    bool everConnected_ = false;
    // A connection asked for and not yet answered (CONNACK) or refused.
    bool connecting_ = false;
    Clock::time_point connectStarted_;
    bool unreachableLogged_ = false;
    double retry_ = kFirstRetry;
    Clock::time_point nextAttempt_ = Clock::now();
};

bool Daemon::setUp() {
    client_.reset(mosquitto_new(options_.clientId.c_str(), true, &events_));
    if (!client_) {
        logLine("cannot make an MQTT client");
        return false;
    }
    // MQTT 5, for "retain as published": a set message published retained
    // reaches the daemon marked so even while it is subscribed, and is refused.
    mosquitto_int_option(client_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // Each state goes out at once, not when Nagle's algorithm lets it.
    mosquitto_int_option(client_.get(), MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client_.get(), onConnect);
    mosquitto_disconnect_callback_set(client_.get(), onDisconnect);
    mosquitto_message_callback_set(client_.get(), onMessage);
    const std::string status = prefix_ + "/status";
    mosquitto_will_set(client_.get(), status.c_str(), 7, "offline", kQos, true);
    if (!options_.username.empty() || !options_.passwordFile.empty()) {
        std::string password;
        if (!options_.passwordFile.empty()) {
            std::ifstream file(options_.passwordFile);
            if (!file || !std::getline(file, password)) {
                logLine("%s: cannot be read", options_.passwordFile.c_str());
                return false;
            }
        }
        mosquitto_username_pw_set(client_.get(), options_.username.c_str(),
                                  options_.passwordFile.empty() ? nullptr : password.c_str());
    }
    if (!options_.caFile.empty()) {
        const int result = mosquitto_tls_set(
            client_.get(), options_.caFile.c_str(), nullptr,
            options_.certFile.empty() ? nullptr : options_.certFile.c_str(),
            options_.keyFile.empty() ? nullptr : options_.keyFile.c_str(), nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            logLine("TLS: %s", mosquitto_strerror(result));
            return false;
        }
        mosquitto_tls_insecure_set(client_.get(), false);
    }
    return true;
}

void Daemon::retryLater() {
    connecting_ = false;
    nextAttempt_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(retry_));
    retry_ = std::min(retry_ * 2, kLastRetry);
}

void Daemon::connectIfDue() {
    if (connecting_ && Seconds(Clock::now() - connectStarted_).count() > kConnectAnswerSeconds) {
        logLine("broker %s:%d did not answer the connection", options_.host.c_str(), options_.port);
        mosquitto_disconnect(client_.get());
        retryLater();
    }
    if (events_.connected || connecting_ || Clock::now() < nextAttempt_) {
        return;
    }
    const int result = everConnected_ ? mosquitto_reconnect(client_.get())
                                      : mosquitto_connect(client_.get(), options_.host.c_str(),
                                                          options_.port, kKeepAliveSeconds);
    if (result == MOSQ_ERR_SUCCESS) {
        everConnected_ = true;
        connecting_ = true;
        connectStarted_ = Clock::now();
        return;
    }
    if (!unreachableLogged_) {
        logLine("broker %s:%d unreachable (%s); trying again, at most every %.0f s",
                options_.host.c_str(), options_.port, mosquitto_strerror(result), kLastRetry);
        unreachableLogged_ = true;
    }
    retryLater();
}

void Daemon::afterConnect() {
    connecting_ = false;
    logLine("connected to %s:%d as %s", options_.host.c_str(), options_.port,
            options_.clientId.c_str());
    unreachableLogged_ = false;
    retry_ = kFirstRetry;
    const std::string sets = prefix_ + "/+/set";
    mosquitto_subscribe_v5(client_.get(), nullptr, sets.c_str(), kQos,
                           MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    publish(prefix_ + "/status", "online");
    // Every retained topic again, from fresh reads of the chips. A gone
    // unit's config stays due for removal: the broker may have kept it.
    for (auto& [id, tracked] : units_) {
        tracked.available.clear();
        tracked.state.clear();
        tracked.discoveryPublished = tracked.discoveryPublished && !tracked.present;
    }
    poll(true);
}

void Daemon::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (events_.connected) {
        mosquitto_publish(client_.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), kQos, retain);
    }
}

void Daemon::publishUnit(Tracked& tracked, const std::string& available, const std::string& state,
                         bool force) {
    const std::string topic = prefix_ + "/" + tracked.unit.id;
    if (!state.empty() && (force || state != tracked.state)) {
        publish(topic + "/state", state);
        tracked.state = state;
    }
    if (force || available != tracked.available) {
        publish(topic + "/available", available);
        tracked.available = available;
    }
}

std::string Daemon::discoveryTopic(const Tracked& tracked) const {
    // Home Assistant's object ids hold no ".".
    std::string object = options_.nodeId + "_" + tracked.unit.id;
    std::replace(object.begin(), object.end(), '.', '_');
    return options_.discoveryPrefix + "/switch/" + object + "/config";
}

void Daemon::publishDiscovery(Tracked& tracked) {
    if (!options_.discovery || tracked.discoveryPublished || !events_.connected) {
        return;
    }
    const std::string topic = prefix_ + "/" + tracked.unit.id;
    const auto named = options_.unitNames.find(tracked.unit.id);
    const std::string id = "zorvex_" + options_.nodeId + "_" + tracked.unit.id;
    const nlohmann::json config = {
        {"unique_id", id},
        {"name",
         named != options_.unitNames.end() ? named->second : "DELOQ-72N " + tracked.unit.id},
        {"command_topic", topic + "/set"},
        {"state_topic", topic + "/state"},
        {"payload_on", "ON"},
        {"payload_off", "OFF"},
        {"state_on", "ON"},
        {"state_off", "OFF"},
        {"qos", kQos},
        {"availability_mode", "all"},
        {"availability", {{{"topic", prefix_ + "/status"}}, {{"topic", topic + "/available"}}}},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device",
         {{"identifiers", {id}},
          {"name", "DELOQ-72N " + tracked.unit.id + " on " + options_.nodeId},
          {"manufacturer",
           tracked.unit.manufacturer.empty() ? "zorvex" : tracked.unit.manufacturer},
          {"model", "DELOQ-72N"}}},
    };
    publish(discoveryTopic(tracked),
            config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    tracked.discoveryPublished = true;
}

void Daemon::removeDiscovery(Tracked& tracked) {
    if (options_.discovery && tracked.discoveryPublished && events_.connected) {
        publish(discoveryTopic(tracked), "");
        tracked.discoveryPublished = false;
        logLine("unit %s gone for %.0f s: its discovery config removed", tracked.unit.id.c_str(),
                options_.discoveryRemoval);
    }
}

void Daemon::serviceMessages() {
    if (events_.connected) {
        mosquitto_loop(client_.get(), 0, 1);
    }
    while (!events_.messages.empty()) {
        const Message message = std::move(events_.messages.front());
        events_.messages.pop_front();
        handle(message);
    }
}

void Daemon::poll(bool force) {
    const std::vector<UnitSeen> seen = findUnits();
    const Clock::time_point now = Clock::now();
    for (const UnitSeen& unit : seen) {
        Tracked& tracked = units_[unit.id];
        if (!tracked.present) {
            logLine("unit %s appeared (chip %zu)", unit.id.c_str(), unit.chip);
        }
        tracked.unit = unit;
        tracked.present = true;
        const Gp0 reading = readGp0(unit.path);
        if (reading == Gp0::notGpio && !tracked.refusalLogged) {
            logLine(
                "unit %s cannot be switched: its GP0 is no general-purpose output; run "
                "zorvex_cui %zu -set and replug it",
                unit.id.c_str(), unit.chip);
        }
        tracked.refusalLogged = reading == Gp0::notGpio;
        const bool online = reading == Gp0::on || reading == Gp0::off;
        publishUnit(tracked, online ? "online" : "offline",
                    online ? (reading == Gp0::on ? "ON" : "OFF") : "", force);
        publishDiscovery(tracked);
        // A set message waits for one chip's read at most, not a whole poll.
        serviceMessages();
    }
    for (auto& entry : units_) {
        const std::string& id = entry.first;
        Tracked& tracked = entry.second;
        const bool stillThere =
            std::any_of(seen.begin(), seen.end(), [&](const UnitSeen& u) { return u.id == id; });
        if (stillThere) {
            continue;
        }
        if (tracked.present) {
            logLine("unit %s gone", id.c_str());
            tracked.present = false;
            tracked.goneSince = now;
        }
        publishUnit(tracked, "offline", "", force);
        if (Seconds(now - tracked.goneSince).count() >= options_.discoveryRemoval) {
            removeDiscovery(tracked);
        }
    }
}

void Daemon::handle(const Message& message) {
    const std::string head = prefix_ + "/";
    const std::string tail = "/set";
    if (message.topic.size() <= head.size() + tail.size() ||
        message.topic.compare(0, head.size(), head) != 0 ||
        message.topic.compare(message.topic.size() - tail.size(), tail.size(), tail) != 0) {
        return;
    }
    const std::string id =
        message.topic.substr(head.size(), message.topic.size() - head.size() - tail.size());
    if (message.retained) {
        logLine("refused %s: a retained set message switches nothing", message.topic.c_str());
        return;
    }
    const std::optional<bool> on =
        message.payload.size() <= kLongestSetPayload ? switchWord(message.payload) : std::nullopt;
    if (!on) {
        logLine("refused %s: \"%s\" is not ON, OFF, on, off, 1 or 0", message.topic.c_str(),
                printable(message.payload).c_str());
        return;
    }
    const auto found = units_.find(id);
    if (found == units_.end() || !found->second.present) {
        logLine("refused %s: no unit %s here", message.topic.c_str(), printable(id).c_str());
        return;
    }
    Tracked& tracked = found->second;
    const bool taken = switchGp0(tracked.unit.path, *on);
    const Gp0 reading = readGp0(tracked.unit.path);
    const bool online = reading == Gp0::on || reading == Gp0::off;
    const std::string state = online ? (reading == Gp0::on ? "ON" : "OFF") : "";
    logLine("switched %s: asked %s, %s, read back %s", message.topic.c_str(), *on ? "ON" : "OFF",
            taken ? "taken" : "refused", online ? state.c_str() : describe(reading));
    // The state is always published after a set, even when unchanged: the
    // asker learns what the chip did.
    if (online) {
        publish(prefix_ + "/" + id + "/state", state);
        tracked.state = state;
    }
    publishUnit(tracked, online ? "online" : "offline", "", false);
}

int Daemon::run() {
    if (!setUp()) {
        return 2;
    }
    struct sigaction stop {};
    stop.sa_handler = requestStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    poll(false);
    notifyReady();
    Clock::time_point nextPoll =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(options_.pollInterval));
    while (stopRequested == 0) {
        connectIfDue();
        // Wait for the broker's next packet, or until the poll or the next
        // connection attempt is due; a signal ends the wait early.
        const bool linked = events_.connected || connecting_;
        const Clock::time_point due = linked ? nextPoll : std::min(nextPoll, nextAttempt_);
        const auto untilDue =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        const int wait = static_cast<int>(std::clamp<long long>(untilDue, 0, kLongestWaitMs));
        const int result = linked ? mosquitto_loop(client_.get(), wait, 1) : MOSQ_ERR_NO_CONN;
        if (result != MOSQ_ERR_SUCCESS) {
            if (events_.connected) {
                events_.connected = false;
                events_.lost = true;
            }
            // Without a connection the loop returns at once: sleep instead
            // of spinning until the next attempt.
            struct timespec pause {
                wait / 1000, (wait % 1000) * 1000000L
            };
            nanosleep(&pause, nullptr);
        }
        if (events_.refusal != 0) {
            logLine("broker refused the connection: %s", mosquitto_connack_string(events_.refusal));
            events_.refusal = 0;
            events_.lost = false;
            retryLater();
        }
        if (events_.lost) {
            events_.lost = false;
            if (!connecting_) {
                logLine("connection to the broker lost; reconnecting");
            }
            retryLater();
        }
        if (events_.justConnected) {
            events_.justConnected = false;
            afterConnect();
        }
        serviceMessages();
        if (Clock::now() >= nextPoll) {
            poll(false);
            nextPoll = Clock::now() +
                       std::chrono::duration_cast<Clock::duration>(Seconds(options_.pollInterval));
        }
    }
    notifyStopping();
    if (events_.connected) {
        publish(prefix_ + "/status", "offline");
        mosquitto_disconnect(client_.get());
        mosquitto_loop(client_.get(), 100, 1);
    }
    logLine("stopped");
    return 0;
}

}  // namespace

int runDaemon(const Options& options) {
    mosquitto_lib_init();
    int exitCode = 0;
    {
        Daemon daemon(options);
        exitCode = daemon.run();
    }
    mosquitto_lib_cleanup();
    return exitCode;
}

}  // namespace zorvex::daemon
