// zorvexd's settings: defaults, then the configuration file (TOML), then
// the command line over it.
#ifndef ZORVEX_DAEMON_OPTIONS_H
#define ZORVEX_DAEMON_OPTIONS_H

#include <map>
#include <string>
#include <vector>

namespace zorvex::daemon {

constexpr const char* kDefaultConfig = "/etc/zorvex/zorvexd.conf";

struct Options {
    std::string config = kDefaultConfig;
    std::string host = "localhost";
    int port = 1883;
    std::string clientId;  // empty: zorvexd-<node id>
    std::string username;
    std::string passwordFile;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string baseTopic = "zorvex";
    std::string nodeId;  // empty: the host name, reduced
    double pollInterval = 2.0;
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    // How long a unit must have been gone before its discovery config goes.
    double discoveryRemoval = 3600.0;
    // Names of units' own, by unit id.
    std::map<std::string, std::string> unitNames;
    bool help = false;
    bool version = false;
    bool list = false;
};

// Reads the command line and the configuration file it names (or the
// default one, when that exists). False, with `problem` one line saying
// what is wrong, for a bad flag, file or value.
bool readOptions(const std::vector<std::string>& arguments, Options& options, std::string& problem);

// `name` reduced to what a node id may hold: a-z 0-9 _ -, upper case
// lowered, anything else dropped; "zorvex" when nothing is left.
std::string reducedNodeId(const std::string& name);

// Whether `id` may stand in a topic level as a unit id: 1 to 64 of
// A-Z a-z 0-9 _ . -.
bool isUnitId(const std::string& id);

extern const char* const kUsage;

}  // namespace zorvex::daemon

#endif
