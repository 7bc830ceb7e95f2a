// zorvexctl through a broker: zorvexd's own settings (the file and the
// flags, read as zorvexd reads them) and an MQTT 5 client that sends a
// request with a response topic and waits, bounded, for zorvexd's answer.
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>

#include "mqtt_session.h"
#include "remote_units.h"
#include "settings.h"
#include "topics.h"
#include "units/unit_inventory.h"

namespace zorvex::ctl {

namespace {

using Clock = std::chrono::steady_clock;
using daemon::Settings;

// After the last retained message of a listing, how long to wait for more:
// the broker sends them all at once.
constexpr auto kQuietAfterRetained = std::chrono::milliseconds(300);

bool settingsOf(const Request& request, Settings& settings, std::string& problem) {
    std::vector<std::string> arguments;
    if (request.configGiven) {
        arguments = {"--config", request.config};
    }
    bool clientIdGiven = false;
    for (const auto& [flag, value] : request.broker) {
        arguments.push_back(flag);
        arguments.push_back(value);
        clientIdGiven = clientIdGiven || flag == "--client-id";
    }
    if (!daemon::readSettings(arguments, settings, problem)) {
        return false;
    }
    // Never zorvexd's own client id (the settings file may hold it): the
    // broker would end zorvexd's session to start this one.
    if (!clientIdGiven) {
        settings.clientId = "zorvexctl-" + std::to_string(getpid()) + "-" +
                            std::to_string(std::random_device{}() % 1000000);
    }
    return true;
}

struct MosquittoFree {
    void operator()(mosquitto* client) const { mosquitto_destroy(client); }
};

// What the broker told the client since it last looked.
struct Inbox {
    bool connected = false;
    int refusal = 0;
    bool closed = false;
    int subscriptions = 0;
    std::vector<daemon::Message> messages;
};

extern "C" {
static void onConnect(mosquitto*, void* data, int result, int, const mosquitto_property*) {
    Inbox& inbox = *static_cast<Inbox*>(data);
    inbox.connected = result == 0;
    inbox.refusal = result;
}
static void onDisconnect(mosquitto*, void* data, int, const mosquitto_property*) {
    static_cast<Inbox*>(data)->closed = true;
}
static void onSubscribe(mosquitto*, void* data, int, int, const int*, const mosquitto_property*) {
    ++static_cast<Inbox*>(data)->subscriptions;
}
static void onMessage(mosquitto*, void* data, const mosquitto_message* message,
                      const mosquitto_property* properties) {
    daemon::Message copy;
    copy.topic = message->topic != nullptr ? message->topic : "";
    if (message->payload != nullptr && message->payloadlen > 0) {
        copy.payload.assign(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(message->payloadlen));
    }
    copy.retained = message->retain;
    void* correlation = nullptr;
    std::uint16_t length = 0;
    if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &correlation,
                                       &length, false) != nullptr &&
        correlation != nullptr) {
        copy.correlation.assign(static_cast<const char*>(correlation), length);
        std::free(correlation);
    }
    static_cast<Inbox*>(data)->messages.push_back(std::move(copy));
}
}

// One connection to the broker, for one command.
class Client {
  public:
    Client(const Settings& settings, Clock::time_point deadline)
        : settings_(settings), deadline_(deadline) {
        mosquitto_lib_init();
    }
    ~Client() {
        if (client_ && inbox_.connected) {
            mosquitto_disconnect(client_.get());
        }
        client_.reset();
        mosquitto_lib_cleanup();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connected, or the one line saying why not.
    std::string connect() {
        client_.reset(mosquitto_new(settings_.clientId.c_str(), true, &inbox_));
        if (!client_) {
            return "cannot make an MQTT client";
        }
        mosquitto_int_option(client_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_int_option(client_.get(), MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_connect_v5_callback_set(client_.get(), onConnect);
        mosquitto_disconnect_v5_callback_set(client_.get(), onDisconnect);
        mosquitto_subscribe_v5_callback_set(client_.get(), onSubscribe);
        mosquitto_message_v5_callback_set(client_.get(), onMessage);
        if (!daemon::setCredentials(client_.get(), settings_)) {
            return "the broker's credentials or TLS files cannot be used";
        }
        const int result =
            mosquitto_connect(client_.get(), settings_.host.c_str(), settings_.port, 10);
        if (result != MOSQ_ERR_SUCCESS) {
            return "cannot reach the broker " + broker() + ": " +
                   (result == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                                             : mosquitto_strerror(result));
        }
        if (!serveUntil([&] { return inbox_.connected || inbox_.refusal != 0; })) {
            return "the broker " + broker() + " did not answer";
        }
        return inbox_.connected
                   ? std::string()
                   : "the broker " + broker() +
                         " refused the connection: " + mosquitto_reason_string(inbox_.refusal);
    }

    bool subscribe(const std::vector<std::string>& topics) {
        for (const std::string& topic : topics) {
            mosquitto_subscribe_v5(client_.get(), nullptr, topic.c_str(), daemon::kQos, 0, nullptr);
        }
        const int wanted = static_cast<int>(topics.size());
        return serveUntil([&] { return inbox_.subscriptions >= wanted; });
    }

    void request(const std::string& topic, const std::string& payload,
                 const std::string& answerTopic, const std::string& correlation) {
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_string(&properties, MQTT_PROP_RESPONSE_TOPIC, answerTopic.c_str());
        mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                      static_cast<std::uint16_t>(correlation.size()));
        mosquitto_publish_v5(client_.get(), nullptr, topic.c_str(),
                             static_cast<int>(payload.size()), payload.data(), daemon::kQos, false,
                             properties);
        mosquitto_property_free_all(&properties);
    }

    // Serves the connection until `done` holds, the deadline passes, or
    // the connection ends; whether `done` held.
    template <typename Done>
    bool serveUntil(Done done, Clock::time_point until = Clock::time_point::max()) {
        const Clock::time_point end = std::min(until, deadline_);
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || inbox_.closed ||
                mosquitto_loop(client_.get(), static_cast<int>(std::min<long long>(left, 100)),
                               1) != MOSQ_ERR_SUCCESS) {
                return done();
            }
        }
        return true;
    }

    std::vector<daemon::Message>& messages() { return inbox_.messages; }
    std::string broker() const { return settings_.host + ":" + std::to_string(settings_.port); }

  private:
    const Settings& settings_;
    Clock::time_point deadline_;
    Inbox inbox_;
    std::unique_ptr<mosquitto, MosquittoFree> client_;
};

std::string randomHex(std::size_t digits) {
    std::random_device random;
    std::string hex;
    while (hex.size() < digits) {
        hex += "0123456789abcdef"[random() % 16];
    }
    return hex;
}

std::string zorvexdOf(const Settings& settings) {
    return "zorvexd of node " + settings.nodeId;
}

// The id `unit` means: its name's, where the settings name a unit so.
std::string idFor(const std::string& unit, const Known& known) {
    for (const auto& [id, name] : known.names) {
        if (name == unit) {
            return id;
        }
    }
    return unit;
}

Outcome askZorvexd(Client& client, const Settings& settings, const Request& request,
                   const std::string& id) {
    const std::string answerTopic = "zorvexctl/" + settings.clientId + "/answer";
    if (!client.subscribe({answerTopic})) {
        return failed("the broker " + client.broker() + " did not take a subscription");
    }
    const bool cycle = request.action == Action::cycle;
    const std::string correlation = randomHex(16);
    const std::string payload =
        cycle ? (request.offSeconds ? std::to_string(*request.offSeconds) : std::string())
              : (request.action == Action::on ? "ON" : "OFF");
    client.request(daemon::unitTopic(settings, id, cycle ? "cycle" : "set"), payload, answerTopic,
                   correlation);
    const daemon::Message* answer = nullptr;
    client.serveUntil([&] {
        for (const daemon::Message& message : client.messages()) {
            if (message.topic == answerTopic && message.correlation == correlation) {
                answer = &message;
            }
        }
        return answer != nullptr;
    });
    if (answer == nullptr) {
        return failed("no answer from the " + zorvexdOf(settings) + " through " + client.broker() +
                      " in time");
    }
    const nlohmann::json reply = nlohmann::json::parse(answer->payload, nullptr, false);
    if (!reply.is_object() || !reply.value("done", false)) {
        const std::string reason = reply.is_object() ? reply.value("reason", std::string()) : "";
        return failed(reason.empty() ? "zorvexd did not switch unit " + id : reason);
    }
    const nlohmann::json state = reply.value("state", nlohmann::json());
    return {true, {}, state.is_string() ? state.get<std::string>() : std::string()};
}

// The retained topics of the node's units, by unit id and leaf.
using Retained = std::map<std::string, std::map<std::string, std::string>>;

Retained retainedOf(const Settings& settings, const std::vector<daemon::Message>& messages) {
    Retained units;
    const std::string prefix = daemon::nodeTopic(settings) + "/";
    for (const daemon::Message& message : messages) {
        if (message.topic.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string rest = message.topic.substr(prefix.size());
        const std::size_t slash = rest.find('/');
        if (slash != std::string::npos) {
            units[rest.substr(0, slash)][rest.substr(slash + 1)] = message.payload;
        } else {
            units[""][rest] = message.payload;
        }
    }
    return units;
}

Outcome readState(Client& client, const Settings& settings, const std::string& id) {
    const std::string available = daemon::unitTopic(settings, id, "available");
    const std::string state = daemon::unitTopic(settings, id, "state");
    if (!client.subscribe({available, state})) {
        return failed("the broker " + client.broker() + " did not take a subscription");
    }
    client.serveUntil([&] {
        const Retained units = retainedOf(settings, client.messages());
        const auto unit = units.find(id);
        return unit != units.end() && unit->second.count("available") != 0 &&
               (unit->second.at("available") != "online" || unit->second.count("state") != 0);
    });
    const Retained units = retainedOf(settings, client.messages());
    const auto unit = units.find(id);
    if (unit == units.end() || unit->second.count("available") == 0) {
        return failed("the " + zorvexdOf(settings) + " announces no unit " + id);
    }
    if (unit->second.at("available") != "online" || unit->second.count("state") == 0) {
        return failed("unit " + id + " is offline: the " + zorvexdOf(settings) +
                      " cannot switch it, or it is gone");
    }
    return {true, {}, unit->second.at("state")};
}

Outcome listUnits(Client& client, const Settings& settings, const Known& known,
                  std::vector<UnitRow>& rows) {
    const std::string prefix = daemon::nodeTopic(settings);
    if (!client.subscribe(
            {daemon::statusTopic(settings), prefix + "/+/available", prefix + "/+/state"})) {
        return failed("the broker " + client.broker() + " did not take a subscription");
    }
    // Retained messages come at once: the listing is whole once none has
    // come for a while.
    std::size_t seen = 0;
    Clock::time_point quietFrom = Clock::now();
    client.serveUntil([&] {
        if (client.messages().size() != seen) {
            seen = client.messages().size();
            quietFrom = Clock::now();
        }
        return Clock::now() - quietFrom >= kQuietAfterRetained;
    });
    Retained units = retainedOf(settings, client.messages());
    if (units[""]["status"] != "online") {
        return failed("the " + zorvexdOf(settings) + " is not online at " + client.broker());
    }
    for (const auto& [id, leaves] : units) {
        const auto available = leaves.find("available");
        if (id.empty() || available == leaves.end()) {
            continue;
        }
        const auto named = known.names.find(id);
        const auto state = leaves.find("state");
        const bool online = available->second == "online";
        // Every unit's product string is the unit's: zorvexd announces no other.
        rows.push_back({id, named != known.names.end() ? named->second : std::string(),
                        "DELOQ-72N SWITCHER", online && state != leaves.end() ? state->second : "",
                        online});
    }
    return {true, {}, {}};
}

}  // namespace

bool readKnown(const Request& request, Known& known, std::string& problem) {
    Settings settings;
    if (!settingsOf(request, settings, problem)) {
        return false;
    }
    known.names = settings.unitNames;
    known.cycleOffSeconds = settings.cycleOffTime;
    return true;
}

Outcome runThroughBroker(const Request& request, const Known& known, std::vector<UnitRow>* rows) {
    Settings settings;
    std::string problem;
    if (!settingsOf(request, settings, problem)) {
        return failed(problem);
    }
    // A cycle's answer comes after its wait.
    const double wait =
        request.timeoutSeconds + (request.action == Action::cycle
                                      ? request.offSeconds.value_or(known.cycleOffSeconds)
                                      : 0.0);
    Client client(settings, Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(wait)));
    problem = client.connect();
    if (!problem.empty()) {
        return failed(problem);
    }
    if (request.action == Action::list) {
        return listUnits(client, settings, known, *rows);
    }
    const std::string id = idFor(request.unit, known);
    return request.action == Action::state ? readState(client, settings, id)
                                           : askZorvexd(client, settings, request, id);
}

}  // namespace zorvex::ctl
