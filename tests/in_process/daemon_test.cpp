// zorvexd's decisions that need no broker and no chip: its settings from
// the file and the command line, what a set message asks, and the Home
// Assistant config it publishes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "home_assistant.h"
#include "set_commands.h"
#include "settings.h"
#include "temporary_file.h"

namespace zorvex::daemon {
namespace {

using test::TemporaryFile;

// The settings the arguments give, or the one line they are refused with;
// never the default settings file of the machine the test runs on.
struct Outcome {
    Settings settings;
    std::string problem;
};
Outcome read(std::vector<std::string> arguments) {
    if (std::find(arguments.begin(), arguments.end(), "--config") == arguments.end()) {
        arguments.insert(arguments.begin(), {"--config", "/dev/null"});
    }
    Outcome outcome;
    if (readSettings(arguments, outcome.settings, outcome.problem)) {
        EXPECT_EQ(outcome.problem, "");
    } else {
        EXPECT_NE(outcome.problem, "");
        EXPECT_EQ(outcome.problem.find('\n'), std::string::npos) << outcome.problem;
    }
    return outcome;
}

TEST(DaemonSettings, CommandLineValuesLandInTheirSettings) {
    const Settings s = read({"--broker",
                             "[::1]:8883",
                             "--client_id",
                             "c",
                             "--username",
                             "u",
                             "--password-file",
                             "p",
                             "--cafile",
                             "ca",
                             "--cert",
                             "cert",
                             "--key",
                             "k",
                             "--base-topic",
                             "a/b",
                             "--node-id",
                             "rack-1",
                             "--poll-interval",
                             "0.5",
                             "--discovery-prefix",
                             "ha",
                             "--no-discovery",
                             "--list"})
                           .settings;
    EXPECT_EQ(s.host, "::1");
    EXPECT_EQ(s.port, 8883);
    EXPECT_EQ(s.clientId, "c");
    EXPECT_EQ(s.username + s.passwordFile + s.caFile + s.certFile + s.keyFile, "upcacertk");
    EXPECT_EQ(s.baseTopic + " " + s.nodeId + " " + s.discoveryPrefix, "a/b rack-1 ha");
    EXPECT_EQ(s.pollInterval, 0.5);
    EXPECT_FALSE(s.discovery);
    EXPECT_TRUE(s.list);

    // Left out: the defaults, the client named for the node.
    const Settings d = read({"--node-id", "n", "--broker", "broker"}).settings;
    EXPECT_EQ(d.host + ":" + std::to_string(d.port), "broker:1883");
    EXPECT_EQ(d.clientId, "zorvexd-n");
    EXPECT_EQ(d.baseTopic + " " + d.discoveryPrefix, "zorvex homeassistant");
    EXPECT_EQ(d.pollInterval, 2.0);
    EXPECT_EQ(d.discoveryRemoval, 3600.0);
    EXPECT_TRUE(d.discovery);
}

TEST(DaemonSettings, EachBadArgumentIsOneLine) {
    const std::pair<std::vector<std::string>, std::string> kCases[] = {
        {{"--bogus"}, "unknown option \"--bogus\" (see --help)"},
        {{"stray"}, "unknown option \"stray\" (see --help)"},
        {{"--discovery-removal", "5"}, "unknown option \"--discovery-removal\" (see --help)"},
        {{"--password", "secret"}, "no password on the command line: use --password-file FILE"},
        {{"--broker"}, "--broker needs a value"},
        {{"--broker", "h:0"}, "--broker: the port in \"h:0\" must be 1 to 65535"},
        {{"--broker", "h:"}, "--broker: the port in \"h:\" must be 1 to 65535"},
        {{"--broker", "[::1"}, "--broker: \"[::1\" is not HOST[:PORT]"},
        {{"--broker", "[]:80"}, "--broker: \"[]:80\" is not HOST[:PORT]"},
        {{"--broker", "::1"}, "--broker: \"::1\" is not HOST[:PORT]"},
        {{"--broker", "a/b"}, "--broker: \"a/b\" is not HOST[:PORT]"},
        {{"--poll-interval", "x"}, "--poll-interval: \"x\" is not a number of seconds"},
        {{"--poll-interval", "0.01"}, "--poll-interval must be from 0.05 to 86400 seconds"},
        {{"--poll-interval", "inf"}, "--poll-interval must be from 0.05 to 86400 seconds"},
        {{"--poll-interval"}, "--poll-interval needs a value"},
        {{"--node-id", "A"}, "--node-id: \"A\" must be 1 to 64 of a-z 0-9 _ -"},
        {{"--base-topic", "a/+"},
         "--base-topic: \"a/+\" is no topic prefix (no + # or empty level)"},
        {{"--discovery-prefix", "/ha"},
         "--discovery-prefix: \"/ha\" is no topic prefix (no + # or empty level)"},
        {{"--config"}, "--config needs a file"},
        {{"--config", "/nonexistent/zorvexd.conf"}, "/nonexistent/zorvexd.conf: cannot be read"},
        {{"--cert", "c"}, "--cert and --key go together"},
        {{"--cert", "c", "--key", "k"}, "--cert needs --cafile: a client certificate is for TLS"},
    };
    for (const auto& [arguments, problem] : kCases) {
        EXPECT_EQ(read(arguments).problem, problem) << testing::PrintToString(arguments);
    }
}

TEST(DaemonSettings, TheFileIsReadFirstAndEachBadValueIsOneLine) {
    TemporaryFile good(
        "broker = \"example:1884\"\npoll_interval = 3\ndiscovery_removal = 0\n"
        "discovery = false\nnode_id = \"from-file\"\n"
        "[units.\"1-1.4\"]\nname = \"Bench lamp\"\n");
    const Settings s = read({"--config", good.path(), "--node-id", "from-flag"}).settings;
    EXPECT_EQ(s.host + ":" + std::to_string(s.port), "example:1884");
    EXPECT_EQ(s.pollInterval, 3.0);
    EXPECT_EQ(s.discoveryRemoval, 0.0);
    EXPECT_FALSE(s.discovery);
    EXPECT_EQ(s.nodeId, "from-flag");  // the command line over the file
    EXPECT_EQ(s.unitNames, (std::map<std::string, std::string>{{"1-1.4", "Bench lamp"}}));

    const std::pair<const char*, const char*> kCases[] = {
        {"poll_interval = \"2\"\n", "poll_interval must be a number of seconds"},
        {"discovery_removal = -1\n", "discovery_removal must be from 0.00 to 86400 seconds"},
        {"discovery = 1\n", "discovery must be true or false"},
        {"broker = 5\n", "broker must be a string"},
        {"broker = \"h:99999\"\n", "--broker: the port in \"h:99999\" must be 1 to 65535"},
        {"node_id = \"A B\"\n", "node_id: \"A B\" must be 1 to 64 of a-z 0-9 _ -"},
        {"units = 3\n", "units is no setting zorvexd knows"},
        {"help = true\n", "help is no setting zorvexd knows"},
        {"[units.\"a/b\"]\nname = \"x\"\n", "units.a/b must be a unit id with a string name"},
        {"[units.\"1-4\"]\nname = 3\n", "units.1-4 must be a unit id with a string name"},
    };
    for (const auto& [contents, problem] : kCases) {
        TemporaryFile file(contents);
        const std::string wanted = problem[0] == '-' ? problem : file.path() + ": " + problem;
        EXPECT_EQ(read({"--config", file.path()}).problem, wanted) << contents;
    }
    TemporaryFile broken("x = = 1\n");
    EXPECT_EQ(read({"--config", broken.path()}).problem.rfind(broken.path() + ": ", 0), 0u);
}

TEST(DaemonSettings, NodeIdsAreReducedFromTheHostName) {
    const std::pair<const char*, const char*> kCases[] = {
        {"Rack-PC.local", "rack-pclocal"}, {"lab_7", "lab_7"}, {"..", "zorvex"}, {"", "zorvex"}};
    for (const auto& [host, id] : kCases) {
        EXPECT_EQ(reducedNodeId(host), id) << host;
    }
    EXPECT_EQ(reducedNodeId(std::string(70, 'a')), std::string(64, 'a'));
}

TEST(SetCommands, OnlySixWordsSwitchAndOnlyTheNodesSetTopicsNameAUnit) {
    const std::pair<const char*, std::optional<bool>> kWords[] = {
        {"ON", true},          {"on", true},           {"1", true},
        {"OFF", false},        {"off", false},         {"0", false},
        {"On", std::nullopt},  {"ONN", std::nullopt},  {"", std::nullopt},
        {" ON", std::nullopt}, {"true", std::nullopt}, {"\xFF", std::nullopt},
    };
    for (const auto& [payload, on] : kWords) {
        EXPECT_EQ(switchWord(payload), on) << payload;
    }
    EXPECT_EQ(switchWord(std::string(17, '1')), std::nullopt);  // too long to be a word

    const std::string prefix = "zorvex/rack";
    const std::pair<const char*, std::optional<std::string>> kTopics[] = {
        {"zorvex/rack/1-1.4/set", "1-1.4"},     {"zorvex/rack/unit0/set", "unit0"},
        {"zorvex/rack//set", std::nullopt},     {"zorvex/rack/set", std::nullopt},
        {"zorvex/other/1-4/set", std::nullopt}, {"zorvex/rack/1-4/state", std::nullopt},
        {"zorvex/racks/1-4/set", std::nullopt},
    };
    for (const auto& [topic, unit] : kTopics) {
        EXPECT_EQ(unitOfSetTopic(prefix, topic), unit) << topic;
    }
    EXPECT_EQ(printable("a\x01\x7F" + std::string(40, 'b')), "a??" + std::string(29, 'b') + "...");
}

// The config as it goes out, byte for byte: keys in order, on one line.
TEST(HomeAssistant, EachUnitIsASwitchOnItsOwnTopics) {
    Settings settings;
    settings.nodeId = "rack";
    settings.unitNames["1-1.4"] = "Bench lamp";
    UnitSeen unit{"1-1.4", "/dev/hidraw3", 2, "Maker"};
    EXPECT_EQ(discoveryTopic(settings, unit.id), "homeassistant/switch/rack_1-1_4/config");
    EXPECT_EQ(discoveryConfig(settings, unit),
              R"({"availability":[{"topic":"zorvex/rack/status"},)"
              R"({"topic":"zorvex/rack/1-1.4/available"}],"availability_mode":"all",)"
              R"("command_topic":"zorvex/rack/1-1.4/set","device":{"identifiers":)"
              R"(["zorvex_rack_1-1.4"],"manufacturer":"Maker","model":"DELOQ-72N",)"
              R"("name":"DELOQ-72N 1-1.4 on rack"},"name":"Bench lamp",)"
              R"("payload_available":"online","payload_not_available":"offline",)"
              R"("payload_off":"OFF","payload_on":"ON","qos":1,"state_off":"OFF",)"
              R"("state_on":"ON","state_topic":"zorvex/rack/1-1.4/state",)"
              R"("unique_id":"zorvex_rack_1-1.4"})");

    // Unnamed, from a chip without a manufacturer string, and invalid UTF-8
    // in it replaced rather than sent.
    unit = {"1-5", "/dev/hidraw4", 3, ""};
    const std::string plain = discoveryConfig(settings, unit);
    EXPECT_NE(plain.find(R"("manufacturer":"zorvex")"), std::string::npos) << plain;
    EXPECT_NE(plain.find(R"(},"name":"DELOQ-72N 1-5",)"), std::string::npos) << plain;
    unit.manufacturer = "M\xFF";
    EXPECT_NE(discoveryConfig(settings, unit).find("\"manufacturer\":\"M\xEF\xBF\xBD\""),
              std::string::npos);
}

}  // namespace
}  // namespace zorvex::daemon
