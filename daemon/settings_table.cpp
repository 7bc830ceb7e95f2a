#include "settings_table.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zorvex::daemon {

namespace {

bool isNodeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

template <std::string Settings::*field>
bool storeText(const std::string&, const std::string& value, Settings& settings, std::string&) {
    settings.*field = value;
    return true;
}

// HOST, HOST:PORT or [IPv6]:PORT. A problem names the flag, wherever the
// value came from.
bool storeBroker(const std::string&, const std::string& text, Settings& settings,
                 std::string& problem) {
    std::string host = text;
    std::string port;
    const bool bracketed = !text.empty() && text[0] == '[';
    if (bracketed) {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            problem = "--broker: \"" + text + "\" is not HOST[:PORT]";
            return false;
        }
        host = text.substr(1, close - 1);
        port = close + 1 < text.size() ? text.substr(close + 2) : "";
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    // An IPv6 address holds colons, and stands in brackets for that.
    if (host.empty() || host.find_first_of(bracketed ? " /" : " /:") != std::string::npos) {
        problem = "--broker: \"" + text + "\" is not HOST[:PORT]";
        return false;
    }
    settings.host = host;
    if (!port.empty() || text.back() == ':') {
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || errno != 0 || number < 1 || number > 65535) {
            problem = "--broker: the port in \"" + text + "\" must be 1 to 65535";
            return false;
        }
        settings.port = static_cast<int>(number);
    }
    return true;
}

bool storeNodeId(const std::string& name, const std::string& id, Settings& settings,
                 std::string& problem) {
    if (id.empty() || id.size() > 64 || !std::all_of(id.begin(), id.end(), isNodeChar)) {
        problem = name + ": \"" + id + "\" must be 1 to 64 of a-z 0-9 _ -";
        return false;
    }
    settings.nodeId = id;
    return true;
}

// A topic prefix: no wildcards, no empty level, no leading or trailing "/".
template <std::string Settings::*field>
bool storeTopic(const std::string& name, const std::string& topic, Settings& settings,
                std::string& problem) {
    if (topic.empty() || topic.find_first_of("+#") != std::string::npos || topic.front() == '/' ||
        topic.back() == '/' || topic.find("//") != std::string::npos) {
        problem = name + ": \"" + topic + "\" is no topic prefix (no + # or empty level)";
        return false;
    }
    settings.*field = topic;
    return true;
}

}  // namespace

std::string reducedNodeId(const std::string& name) {
    std::string id;
    for (char c : name) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (isNodeChar(c) && id.size() < 64) {
            id += c;
        }
    }
    return id.empty() ? "zorvex" : id;
}

const Setting kSettings[] = {
    {"broker", "--broker", Kind::text, storeBroker},
    {"client_id", "--client-id", Kind::text, storeText<&Settings::clientId>},
    {"username", "--username", Kind::text, storeText<&Settings::username>},
    {"password_file", "--password-file", Kind::text, storeText<&Settings::passwordFile>},
    {"cafile", "--cafile", Kind::text, storeText<&Settings::caFile>},
    {"cert", "--cert", Kind::text, storeText<&Settings::certFile>},
    {"key", "--key", Kind::text, storeText<&Settings::keyFile>},
    {"base_topic", "--base-topic", Kind::text, storeTopic<&Settings::baseTopic>},
    {"node_id", "--node-id", Kind::text, storeNodeId},
    {"poll_interval", "--poll-interval", Kind::seconds, nullptr, &Settings::pollInterval, 0.05},
    {"discovery_removal", nullptr, Kind::seconds, nullptr, &Settings::discoveryRemoval, 0},
    {"cycle_off_time", "--cycle-off-time", Kind::seconds, nullptr, &Settings::cycleOffTime, 0,
     nullptr, true, kLongestCycleOff},
    {"discovery_prefix", "--discovery-prefix", Kind::text, storeTopic<&Settings::discoveryPrefix>},
    {"discovery", "--no-discovery", Kind::onOff, nullptr, nullptr, 0, &Settings::discovery, false},
    {"units", nullptr, Kind::unitNames},
    {nullptr, "--help", Kind::onOff, nullptr, nullptr, 0, &Settings::help},
    {nullptr, "--version", Kind::onOff, nullptr, nullptr, 0, &Settings::version},
    {nullptr, "--list", Kind::onOff, nullptr, nullptr, 0, &Settings::list},
};
const std::size_t kSettingCount = sizeof kSettings / sizeof kSettings[0];

const Setting* settingOfKey(const std::string& key) {
    const Setting* end = kSettings + kSettingCount;
    const Setting* found = std::find_if(kSettings, end, [&](const Setting& setting) {
        return setting.key != nullptr && key == setting.key;
    });
    return found != end ? found : nullptr;
}

const Setting* settingOfFlag(const std::string& flag) {
    // --client-id sets what client_id sets in the file; so does --client_id.
    std::string key = flag.rfind("--", 0) == 0 ? flag.substr(2) : std::string();
    std::replace(key.begin(), key.end(), '-', '_');
    const Setting* end = kSettings + kSettingCount;
    const Setting* found = std::find_if(kSettings, end, [&](const Setting& setting) {
        const bool takesValue = setting.kind == Kind::text || setting.kind == Kind::seconds;
        return takesValue && setting.flag != nullptr && setting.key != nullptr &&
               key == setting.key;
    });
    return found != end ? found : nullptr;
}

bool storeSeconds(const Setting& setting, const std::string& name, double value, Settings& settings,
                  std::string& problem) {
    if (!std::isfinite(value) || value < setting.least || value > setting.most) {
        problem = name + " must be from " + std::to_string(setting.least).substr(0, 4) + " to " +
                  std::to_string(static_cast<int>(setting.most)) + " seconds";
        return false;
    }
    settings.*setting.seconds = value;
    return true;
}

bool storeSecondsText(const Setting& setting, const std::string& name, const std::string& text,
                      Settings& settings, std::string& problem) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        problem = name + ": \"" + text + "\" is not a number of seconds";
        return false;
    }
    return storeSeconds(setting, name, value, settings, problem);
}

}  // namespace zorvex::daemon
