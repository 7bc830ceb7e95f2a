#include "daemon_options.h"

#include <unistd.h>

#include <toml++/toml.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace zorvex::daemon {

const char* const kUsage =
    "usage: zorvexd [options]\n"
    "Puts this machine's DELOQ-72N units on an MQTT broker.\n"
    "  --config FILE            settings file (default /etc/zorvex/zorvexd.conf)\n"
    "  --broker HOST[:PORT]     the broker (default localhost:1883)\n"
    "  --client-id ID           MQTT client id (default zorvexd-<node id>)\n"
    "  --username NAME          user name at the broker\n"
    "  --password-file FILE     file whose first line is the password\n"
    "  --cafile FILE            connect with TLS, the broker's certificate checked\n"
    "                           against this CA, its host name verified\n"
    "  --cert FILE, --key FILE  a client certificate and its key, for TLS\n"
    "  --base-topic T           first topic level (default zorvex)\n"
    "  --node-id ID             this machine's topic level (default: the host name)\n"
    "  --poll-interval SECONDS  how often the units are read (default 2)\n"
    "  --discovery-prefix P     Home Assistant discovery prefix (default homeassistant)\n"
    "  --no-discovery           publish no Home Assistant discovery\n"
    "  --list                   print the units seen, with ids and states, and exit\n"
    "  --help, --version\n";

namespace {

bool isNodeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// HOST, HOST:PORT or [IPv6]:PORT.
bool readBroker(const std::string& text, Options& options, std::string& problem) {
    std::string host = text;
    std::string port;
    if (!text.empty() && text[0] == '[') {
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
    if (host.empty() || host.find_first_of(" /:") != std::string::npos) {
        problem = "--broker: \"" + text + "\" is not HOST[:PORT]";
        return false;
    }
    options.host = host;
    if (!port.empty() || text.back() == ':') {
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || errno != 0 || number < 1 || number > 65535) {
            problem = "--broker: the port in \"" + text + "\" must be 1 to 65535";
            return false;
        }
        options.port = static_cast<int>(number);
    }
    return true;
}

bool readSeconds(const std::string& name, double value, double least, double& out,
                 std::string& problem) {
    if (!std::isfinite(value) || value < least || value > 86400) {
        problem =
            name + " must be from " + std::to_string(least).substr(0, 4) + " to 86400 seconds";
        return false;
    }
    out = value;
    return true;
}

bool readSecondsText(const std::string& name, const std::string& text, double least, double& out,
                     std::string& problem) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        problem = name + ": \"" + text + "\" is not a number of seconds";
        return false;
    }
    return readSeconds(name, value, least, out, problem);
}

bool readNodeId(const std::string& name, const std::string& id, Options& options,
                std::string& problem) {
    if (id.empty() || id.size() > 64 ||
        !std::all_of(id.begin(), id.end(), [](char c) { return isNodeChar(c); })) {
        problem = name + ": \"" + id + "\" must be 1 to 64 of a-z 0-9 _ -";
        return false;
    }
    options.nodeId = id;
    return true;
}

// A topic prefix: no wildcards, no empty level, no leading or trailing "/".
bool readTopic(const std::string& name, const std::string& topic, std::string& out,
               std::string& problem) {
    if (topic.empty() || topic.find_first_of("+#") != std::string::npos || topic.front() == '/' ||
        topic.back() == '/' || topic.find("//") != std::string::npos) {
        problem = name + ": \"" + topic + "\" is no topic prefix (no + # or empty level)";
        return false;
    }
    out = topic;
    return true;
}

// A setting given as text, by its name in the file ("client_id"); `name`
// is how to call it in a problem. False for a bad value, and with `known`
// false for a name that takes no text.
bool applyText(const std::string& key, const std::string& value, const std::string& name,
               Options& options, bool& known, std::string& problem) {
    static const std::pair<const char*, std::string Options::*> kPlain[] = {
        {"client_id", &Options::clientId},
        {"username", &Options::username},
        {"password_file", &Options::passwordFile},
        {"cafile", &Options::caFile},
        {"cert", &Options::certFile},
        {"key", &Options::keyFile},
    };
    known = true;
    for (const auto& [plain, field] : kPlain) {
        if (key == plain) {
            options.*field = value;
            return true;
        }
    }
    if (key == "broker") {
        return readBroker(value, options, problem);
    }
    if (key == "base_topic") {
        return readTopic(name, value, options.baseTopic, problem);
    }
    if (key == "discovery_prefix") {
        return readTopic(name, value, options.discoveryPrefix, problem);
    }
    if (key == "node_id") {
        return readNodeId(name, value, options, problem);
    }
    if (key == "poll_interval") {
        return readSecondsText(name, value, 0.05, options.pollInterval, problem);
    }
    known = false;
    return false;
}

bool readConfigFile(const std::string& path, Options& options, std::string& problem) {
    toml::table table;
    try {
        table = toml::parse_file(path);
    } catch (const toml::parse_error& error) {
        problem = path + ": " + std::string(error.description()) + " (line " +
                  std::to_string(error.source().begin.line) + ")";
        return false;
    }
    for (const auto& [key, node] : table) {
        const std::string setting(key.str());
        const std::string name = path + ": " + setting;
        if (setting == "poll_interval" || setting == "discovery_removal") {
            const std::optional<double> number = node.value<double>();
            if (!number) {
                problem = name + " must be a number of seconds";
                return false;
            }
            if (!(setting == "poll_interval"
                      ? readSeconds(name, *number, 0.05, options.pollInterval, problem)
                      : readSeconds(name, *number, 0, options.discoveryRemoval, problem))) {
                return false;
            }
        } else if (setting == "discovery") {
            if (!node.is_boolean()) {
                problem = name + " must be true or false";
                return false;
            }
            options.discovery = node.value<bool>().value_or(true);
        } else if (setting == "units" && node.is_table()) {
            for (const auto& [id, unit] : *node.as_table()) {
                const std::string unitId(id.str());
                const toml::node* unitName =
                    unit.is_table() ? unit.as_table()->get("name") : nullptr;
                if (!isUnitId(unitId) || unitName == nullptr || !unitName->is_string()) {
                    problem = name + "." + unitId + " must be a unit id with a string name";
                    return false;
                }
                options.unitNames[unitId] = unitName->value<std::string>().value_or("");
            }
        } else {
            bool known = false;
            const std::string value = node.value<std::string>().value_or("");
            if (applyText(setting, value, name, options, known, problem) && node.is_string()) {
                continue;
            }
            if (known && !node.is_string()) {
                problem = name + " must be a string";
            } else if (!known) {
                problem = name + " is no setting zorvexd knows";
            }
            return false;
        }
    }
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

bool isUnitId(const std::string& id) {
    return !id.empty() && id.size() <= 64 &&
           id.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
               "0123456789_.-") == std::string::npos;
}

bool readOptions(const std::vector<std::string>& arguments, Options& options,
                 std::string& problem) {
    // The file first, so that the command line goes over it.
    bool configGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--config") {
            if (i + 1 >= arguments.size()) {
                problem = "--config needs a file";
                return false;
            }
            options.config = arguments[i + 1];
            configGiven = true;
        }
    }
    if (configGiven || access(options.config.c_str(), F_OK) == 0) {
        if (access(options.config.c_str(), R_OK) != 0) {
            problem = options.config + ": cannot be read";
            return false;
        }
        if (!readConfigFile(options.config, options, problem)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (flag == "--help") {
            options.help = true;
            continue;
        }
        if (flag == "--version") {
            options.version = true;
            continue;
        }
        if (flag == "--list") {
            options.list = true;
            continue;
        }
        if (flag == "--no-discovery") {
            options.discovery = false;
            continue;
        }
        if (flag == "--config") {
            ++i;  // read above
            continue;
        }
        // --client-id sets what client_id sets in the file.
        std::string setting = flag.rfind("--", 0) == 0 ? flag.substr(2) : std::string();
        std::replace(setting.begin(), setting.end(), '-', '_');
        bool known = false;
        const std::string value = i + 1 < arguments.size() ? arguments[i + 1] : std::string();
        if (applyText(setting, value, flag, options, known, problem)) {
            if (i + 1 >= arguments.size()) {
                problem = flag + " needs a value";
                return false;
            }
            ++i;
            continue;
        }
        if (!known) {
            problem = flag.rfind("--password", 0) == 0
                          ? "no password on the command line: use --password-file FILE"
                          : "unknown option \"" + flag + "\" (see --help)";
        } else if (i + 1 >= arguments.size()) {
            problem = flag + " needs a value";
        }
        return false;
    }
    if (options.certFile.empty() != options.keyFile.empty()) {
        problem = "--cert and --key go together";
        return false;
    }
    if (!options.certFile.empty() && options.caFile.empty()) {
        problem = "--cert needs --cafile: a client certificate is for TLS";
        return false;
    }
    if (options.nodeId.empty()) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        options.nodeId = reducedNodeId(host);
    }
    if (options.clientId.empty()) {
        options.clientId = "zorvexd-" + options.nodeId;
    }
    return true;
}

}  // namespace zorvex::daemon
