#include "set_commands.h"

namespace zorvex::daemon {

std::optional<std::string> unitOfSetTopic(const std::string& prefix, const std::string& topic) {
    const std::string head = prefix + "/";
    const std::string tail = "/set";
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0) {
        return std::nullopt;
    }
    return topic.substr(head.size(), topic.size() - head.size() - tail.size());
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
