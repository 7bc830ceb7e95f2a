// zorvexd's settings: defaults, then the settings file (TOML), then the
// command line over it. Every setting is one row of one table
// (settings_table.h), which both readers use.
#ifndef ZORVEX_DAEMON_SETTINGS_H
#define ZORVEX_DAEMON_SETTINGS_H

#include <map>
#include <string>
#include <vector>

namespace zorvex::daemon {

constexpr const char* kDefaultConfig = "/etc/zorvex/zorvexd.conf";
// The longest a cycle holds a unit off.
constexpr double kLongestCycleOff = 3600.0;

struct Settings {
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
    // How long a cycle holds a unit off when its request names no time.
    double cycleOffTime = 5.0;
    // Names of units' own, by unit id.
    std::map<std::string, std::string> unitNames;
    bool help = false;
    bool version = false;
    bool list = false;
};

// Reads the command line and the settings file it names (or the default
// one, when that exists). False, with `problem` one line saying what is
// wrong, for a bad flag, file or value.
bool readSettings(const std::vector<std::string>& arguments, Settings& settings,
                  std::string& problem);

// Applies the settings file at `path` to `settings`; false, with `problem`
// one line, for a file that is not TOML or holds a bad setting.
bool readSettingsFile(const std::string& path, Settings& settings, std::string& problem);

// `name` reduced to what a node id may hold: a-z 0-9 _ -, upper case
// lowered, anything else dropped; "zorvex" when nothing is left.
std::string reducedNodeId(const std::string& name);

extern const char* const kUsage;

}  // namespace zorvex::daemon

#endif
