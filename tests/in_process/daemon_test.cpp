// zorvexd's decisions that need no broker and no chip: its settings from
// the file and the command line, what a set message asks, and the Home
// Assistant config it publishes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "home_assistant.h"
#include "requests.h"
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
        {"cycle_off_time = 3601\n", "cycle_off_time must be from 0.00 to 3600 seconds"},
        // Beyond ASCII, TOML has text only in strings and comments.
        {"x = \xC3\xA9\n", "a character beyond ASCII outside a string (line 1)"},
        {"[units.\"1-4\"]\nname = '\xC3\xA9'\n",
         "a character beyond ASCII in a 'literal' string: write it in a \"basic\" one (line 2)"},
        {"node_id = \"\xC3\"\n", "not UTF-8 (line 1)"},
    };
    for (const auto& [contents, problem] : kCases) {
        TemporaryFile file(contents);
        const std::string wanted = problem[0] == '-' ? problem : file.path() + ": " + problem;
        EXPECT_EQ(read({"--config", file.path()}).problem, wanted) << contents;
    }
    // A unit's name in any script, in a basic string, comments too.
    TemporaryFile named(
        "# \xE3\x83\xA9\xE3\x83\x83\xE3\x82\xAF\n[units.\"1-4\"]\n"
        "name = \"\xE9\x9B\xBB\xE6\xBA\x90 \xF0\x9F\x98\x80 \\\"\"\n");
    EXPECT_EQ(read({"--config", named.path()}).settings.unitNames.at("1-4"),
              "\xE9\x9B\xBB\xE6\xBA\x90 \xF0\x9F\x98\x80 \"");
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

TEST(Requests, OnlySixWordsSwitchAndOnlyTheNodesCommandTopicsNameAUnit) {
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

    Settings settings;
    settings.nodeId = "rack";
    settings.cycleOffTime = 7;
    // The topic, the payload; what it asks (empty: nothing of ours), the
    // unit, and why it is refused.
    const struct {
        const char* topic;
        const char* payload;
        const char* command;
        const char* unit;
        const char* refusal;
    } kMessages[] = {
        {"zorvex/rack/1-1.4/set", "ON", "set on", "1-1.4", ""},
        {"zorvex/rack/unit0/set", "0", "set off", "unit0", ""},
        {"zorvex/rack/1-4/set", "On", "set", "1-4", "\"On\" is not ON, OFF, on, off, 1 or 0"},
        {"zorvex/rack/1-4/cycle", "", "cycle 7.0", "1-4", ""},
        {"zorvex/rack/1-4/cycle", "2.5", "cycle 2.5", "1-4", ""},
        {"zorvex/rack/1-4/cycle", "3601", "cycle", "1-4", "is not an off time"},
        {"zorvex/rack/1-4/cycle", "-1", "cycle", "1-4", "is not an off time"},
        {"zorvex/rack/1-4/cycle", "1e2", "cycle", "1-4", "is not an off time"},
        {"zorvex/rack//set", "ON", "", "", ""},
        {"zorvex/rack/set", "ON", "", "", ""},
        {"zorvex/rack/a/b/set", "ON", "", "", ""},
        {"zorvex/other/1-4/set", "ON", "", "", ""},
        {"zorvex/rack/1-4/state", "ON", "", "", ""},
        {"zorvex/racks/1-4/set", "ON", "", "", ""},
    };
    for (const auto& m : kMessages) {
        const std::optional<Request> request =
            readRequest(settings, Message{m.topic, m.payload, false, false, {}, {}});
        SCOPED_TRACE(std::string(m.topic) + " " + m.payload);
        ASSERT_EQ(request.has_value(), *m.command != '\0');
        if (!request) {
            continue;
        }
        EXPECT_EQ(request->unit, m.unit);
        EXPECT_NE(request->refusal.find(m.refusal), std::string::npos) << request->refusal;
        EXPECT_EQ(request->refusal.empty(), *m.refusal == '\0');
        if (request->refusal.empty()) {
            const std::string what = request->command == Command::set
                                         ? std::string("set ") + (request->on ? "on" : "off")
                                         : "cycle " + nlohmann::json(request->offSeconds).dump();
            EXPECT_EQ(what, m.command);
        }
    }
    EXPECT_EQ(printable("a\x01\x7F" + std::string(40, 'b')), "a??" + std::string(29, 'b') + "...");
}

// An answer goes only where it cannot command, announce or state anything:
// never under zorvexd's own topics.
TEST(Requests, AnswersGoOnlyToTopicsThatAreNotZorvexds) {
    Settings settings;
    settings.nodeId = "rack";
    const std::pair<const char*, bool> kTopics[] = {
        {"replies/1", true},
        {"zorvexctl/abc", true},
        {"zorvexes/rack", true},
        {"zorvex", false},
        {"zorvex/rack/1-4/set", false},
        {"zorvex/other/1-4/cycle", false},
        {"homeassistant/switch/x/config", false},
        {"a/+/b", false},
        {"a/#", false},
        {"", false},
        {"bad\xC3", false},
    };
    for (const auto& [topic, allowed] : kTopics) {
        Message message{"zorvex/rack/1-4/set", "ON", false, true, topic, "id-7"};
        const Request request = readRequest(settings, message).value();
        EXPECT_EQ(request.answerTopic, allowed ? topic : "") << topic;
        EXPECT_EQ(request.answerRefusal.empty(), allowed) << topic;
        EXPECT_EQ(request.correlation, allowed ? "id-7" : "") << topic;
    }
    // A retained request does nothing, but is answered.
    const Request retained =
        readRequest(settings, Message{"zorvex/rack/1-4/set", "ON", true, true, "r/1", ""}).value();
    EXPECT_EQ(retained.refusal, "a retained set message switches nothing");
    EXPECT_EQ(retained.answerTopic, "r/1");
    EXPECT_EQ(answerPayload(false, "", retained.refusal),
              R"({"done":false,"reason":"a retained set message switches nothing","state":null})");
    EXPECT_EQ(answerPayload(true, "ON", ""), R"({"done":true,"state":"ON"})");
}

// The config as it goes out, byte for byte: keys in order, on one line.
TEST(HomeAssistant, EachUnitIsASwitchOnItsOwnTopics) {
    Settings settings;
    settings.nodeId = "rack";
    settings.unitNames["1-1.4"] = "Bench lamp";
    UnitSeen unit{"1-1.4", "/dev/hidraw3", 2, "Maker", "DELOQ-72N SWITCHER"};
    EXPECT_EQ(discoveryTopic(settings, unit.id, Entity::unitSwitch),
              "homeassistant/switch/rack_1-1_4/config");
    EXPECT_EQ(discoveryConfig(settings, unit, Entity::unitSwitch),
              R"({"availability":[{"topic":"zorvex/rack/status"},)"
              R"({"topic":"zorvex/rack/1-1.4/available"}],"availability_mode":"all",)"
              R"("command_topic":"zorvex/rack/1-1.4/set","device":{"identifiers":)"
              R"(["zorvex_rack_1-1.4"],"manufacturer":"Maker","model":"DELOQ-72N",)"
              R"("name":"DELOQ-72N 1-1.4 on rack"},"name":"Bench lamp",)"
              R"("payload_available":"online","payload_not_available":"offline",)"
              R"("payload_off":"OFF","payload_on":"ON","qos":1,"state_off":"OFF",)"
              R"("state_on":"ON","state_topic":"zorvex/rack/1-1.4/state",)"
              R"("unique_id":"zorvex_rack_1-1.4"})");
    // Its power cycle, a button that sends the empty cycle.
    EXPECT_EQ(discoveryTopic(settings, unit.id, Entity::cycleButton),
              "homeassistant/button/rack_1-1_4/config");
    const std::string button = discoveryConfig(settings, unit, Entity::cycleButton);
    EXPECT_NE(button.find(R"("command_topic":"zorvex/rack/1-1.4/cycle","device":)"),
              std::string::npos)
        << button;
    EXPECT_NE(button.find(R"(,"name":"Power cycle","payload_available":"online",)"
                          R"("payload_not_available":"offline","payload_press":"",)"),
              std::string::npos)
        << button;

    // Unnamed, from a chip without a manufacturer string, and invalid UTF-8
    // in it replaced rather than sent.
    unit = {"1-5", "/dev/hidraw4", 3, "", "DELOQ-72N SWITCHER"};
    const std::string plain = discoveryConfig(settings, unit, Entity::unitSwitch);
    EXPECT_NE(plain.find(R"("manufacturer":"zorvex")"), std::string::npos) << plain;
    EXPECT_NE(plain.find(R"(},"name":"DELOQ-72N 1-5",)"), std::string::npos) << plain;
    unit.manufacturer = "M\xFF";
    EXPECT_NE(discoveryConfig(settings, unit, Entity::unitSwitch)
                  .find("\"manufacturer\":\"M\xEF\xBF\xBD\""),
              std::string::npos);
}

}  // namespace
}  // namespace zorvex::daemon
