// zorvexctl through a broker: zorvexd's own settings (the file and the
// flags, read as zorvexd reads them) and an MQTT 5 client that sends a
// request with a response topic and waits, bounded, for zorvexd's answer.
#include <unistd.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "broker_client.h"
#include "remote_units.h"
#include "settings.h"
#include "topics.h"
#include "units/unit_inventory.h"

namespace zorvex::ctl {

namespace {

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

Outcome askZorvexd(BrokerClient& client, const Settings& settings, const Request& request,
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

Outcome readState(BrokerClient& client, const Settings& settings, const std::string& id) {
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

Outcome listUnits(BrokerClient& client, const Settings& settings, const Known& known,
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
    BrokerClient client(settings, Clock::now() + std::chrono::duration_cast<Clock::duration>(
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
