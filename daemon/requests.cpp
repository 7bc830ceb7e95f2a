#include "requests.h"

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "text/utf_text.h"
#include "topics.h"

namespace zorvex::daemon {

namespace {

// The unit id in "<prefix>/<unit>/<leaf>"; nullopt for any other topic.
std::optional<std::string> unitOf(const std::string& prefix, const std::string& topic,
                                  const std::string& leaf) {
    const std::string head = prefix + "/";
    const std::string tail = "/" + leaf;
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0) {
        return std::nullopt;
    }
    const std::string unit = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    return unit.find('/') == std::string::npos ? std::optional<std::string>(unit) : std::nullopt;
}

bool isUnder(const std::string& topic, const std::string& prefix) {
    return topic == prefix || topic.compare(0, prefix.size() + 1, prefix + "/") == 0;
}

// Well-formed UTF-8, as MQTT requires of a topic: every character decodes
// as itself (U+FFFD only where the text holds it).
bool isUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const text::Decoded decoded = text::decodeUtf8(text, at);
        if (decoded.character == text::kReplacement && text.compare(at, 3, "\xEF\xBF\xBD") != 0) {
            return false;
        }
        at += decoded.length;
    }
    return true;
}

// Where an answer may go: a topic one may publish to (no wildcard), and
// none of zorvexd's own: not under its base topic, where its commands and
// states are (every topic it subscribes to is there), nor under Home
// Assistant's discovery prefix, where its configs are. Else a request could
// make zorvexd command a unit, or announce one.
std::string answerRefusal(const Settings& settings, const std::string& topic) {
    if (topic.empty() || topic.size() > 65535 || topic.find_first_of("+#") != std::string::npos ||
        topic.find('\0') != std::string::npos || !isUtf8(topic)) {
        return "\"" + printable(topic) + "\" is not a topic to publish to";
    }
    if (isUnder(topic, settings.baseTopic) || isUnder(topic, settings.discoveryPrefix)) {
        return "\"" + printable(topic) + "\" is one of zorvexd's own topics";
    }
    return {};
}

// Empty for the setting's time; else seconds, from 0 to the longest.
std::optional<double> offTime(const std::string& payload, double setting) {
    if (payload.empty()) {
        return setting;
    }
    if (payload.size() > kLongestSetPayload) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double seconds = std::strtod(payload.c_str(), &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > kLongestCycleOff ||
        payload.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace

std::optional<Request> readRequest(const Settings& settings, const Message& message) {
    Request request;
    const std::string prefix = nodeTopic(settings);
    std::optional<std::string> unit = unitOf(prefix, message.topic, "set");
    if (!unit) {
        unit = unitOf(prefix, message.topic, "cycle");
        request.command = Command::cycle;
    }
    if (!unit) {
        return std::nullopt;
    }
    request.unit = *unit;
    if (message.hasResponseTopic) {
        request.answerRefusal = answerRefusal(settings, message.responseTopic);
        if (request.answerRefusal.empty()) {
            request.answerTopic = message.responseTopic;
            request.correlation = message.correlation;
        }
    }
    if (message.retained) {
        request.refusal = std::string("a retained ") +
                          (request.command == Command::set ? "set" : "cycle") +
                          " message switches nothing";
        return request;
    }
    if (request.command == Command::set) {
        const std::optional<bool> on = switchWord(message.payload);
        if (!on) {
            request.refusal =
                "\"" + printable(message.payload) + "\" is not ON, OFF, on, off, 1 or 0";
        }
        request.on = on.value_or(false);
        return request;
    }
    const std::optional<double> off = offTime(message.payload, settings.cycleOffTime);
    if (!off) {
        request.refusal = "\"" + printable(message.payload) + "\" is not an off time of 0 to " +
                          std::to_string(static_cast<int>(kLongestCycleOff)) + " seconds";
    }
    request.offSeconds = off.value_or(0.0);
    return request;
}

std::string answerPayload(bool done, const std::string& state, const std::string& reason) {
    nlohmann::json answer = {{"done", done},
                             {"state", state.empty() ? nlohmann::json() : nlohmann::json(state)}};
    if (!reason.empty()) {
        answer["reason"] = reason;
    }
    return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<bool> switchWord(const std::string& payload) {
    if (payload.size() > kLongestSetPayload) {
        return std::nullopt;
    }
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

}  // namespace zorvex::daemon
