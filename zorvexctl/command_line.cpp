#include "command_line.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zorvex::ctl {

namespace {

// zorvexd's flags for reaching the broker, which zorvexctl takes as they
// are (zorvexd's settings check them).
constexpr const char* kBrokerFlags[] = {"--broker",  "--username",   "--password-file",
                                        "--cafile",  "--cert",       "--key",
                                        "--node-id", "--base-topic", "--client-id"};

// A cycle holds a unit off for at most an hour; a wait for zorvexd, a minute.
constexpr double kLongestOff = 3600;
constexpr double kLongestTimeout = 60;

bool readSeconds(const std::string& flag, const std::string& text, double least, double most,
                 double& seconds, std::string& problem) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < least || value > most) {
        problem = flag + ": \"" + text + "\" is not a number of seconds from " +
                  std::to_string(static_cast<int>(least)) + " to " +
                  std::to_string(static_cast<int>(most));
        return false;
    }
    seconds = value;
    return true;
}

bool readAction(const std::string& word, Action& action) {
    static const std::pair<const char*, Action> actions[] = {
        {"list", Action::list},   {"on", Action::on},       {"off", Action::off},
        {"state", Action::state}, {"cycle", Action::cycle},
    };
    for (const auto& [name, value] : actions) {
        if (word == name) {
            action = value;
            return true;
        }
    }
    return false;
}

}  // namespace

bool readCommandLine(const std::vector<std::string>& arguments, Request& request,
                     std::string& problem) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--help" || word == "--version") {
            request.action = word == "--help" ? Action::help : Action::version;
            return true;
        }
        if (word == "--json") {
            request.json = true;
            continue;
        }
        if (word.rfind("--", 0) != 0 || word == "--") {
            words.push_back(word);
            continue;
        }
        const bool brokerFlag = std::find(std::begin(kBrokerFlags), std::end(kBrokerFlags), word) !=
                                std::end(kBrokerFlags);
        if (!brokerFlag && word != "--config" && word != "--timeout" && word != "--off") {
            problem = word.rfind("--password", 0) == 0
                          ? "no password on the command line: use --password-file FILE"
                          : "unknown option \"" + word + "\" (see --help)";
            return false;
        }
        if (i + 1 >= arguments.size()) {
            problem = word + " needs a value";
            return false;
        }
        const std::string& value = arguments[++i];
        if (brokerFlag) {
            request.broker.emplace_back(word, value);
        } else if (word == "--config") {
            request.config = value;
            request.configGiven = true;
        } else if (word == "--timeout") {
            if (!readSeconds(word, value, 0.1, kLongestTimeout, request.timeoutSeconds, problem)) {
                return false;
            }
        } else {
            double off = 0;
            if (!readSeconds(word, value, 0, kLongestOff, off, problem)) {
                return false;
            }
            request.offSeconds = off;
        }
    }
    if (words.empty()) {
        problem = "no command (see --help)";
        return false;
    }
    if (!readAction(words[0], request.action)) {
        problem = "unknown command \"" + words[0] + "\" (see --help)";
        return false;
    }
    const bool needsUnit = request.action != Action::list;
    if (words.size() != (needsUnit ? 2u : 1u)) {
        problem = needsUnit ? words[0] + " needs one UNIT" : "list takes no UNIT";
        return false;
    }
    if (request.offSeconds && request.action != Action::cycle) {
        problem = "--off is for cycle";
        return false;
    }
    if (request.json && request.action != Action::list) {
        problem = "--json is for list";
        return false;
    }
    request.unit = needsUnit ? words[1] : std::string();
    return true;
}

const char* const kUsage =
    "usage: zorvexctl [options] list [--json]\n"
    "       zorvexctl [options] on|off|state UNIT\n"
    "       zorvexctl [options] cycle UNIT [--off SECONDS]\n"
    "Switches DELOQ-72N units for scripts. UNIT is a unit's id (where it is\n"
    "plugged in, as zorvexd names it) or its name from zorvexd's settings.\n"
    "Exit code 0 only when the unit read back as asked; 1, with one line on\n"
    "stderr, when it did not; 2 for a usage error.\n"
    "  list                     every unit: id, state, whether it switches, name, product\n"
    "  on, off                  switch the unit, then read it back\n"
    "  state                    print ON or OFF, as the unit reads\n"
    "  cycle                    off, wait, on, each step read back\n"
    "  --off SECONDS            the wait of a cycle (default: cycle_off_time, or 5)\n"
    "  --config FILE            zorvexd's settings, for names (default /etc/zorvex/zorvexd.conf)\n"
    "  --broker HOST[:PORT]     ask the zorvexd of --node-id through this broker,\n"
    "                           instead of switching this machine's units\n"
    "  --node-id ID, --base-topic T, --username NAME, --password-file FILE,\n"
    "  --cafile FILE, --cert FILE, --key FILE, --client-id ID\n"
    "                           as for zorvexd\n"
    "  --timeout SECONDS        how long zorvexd has to answer (default 5)\n"
    "  --help, --version\n";

}  // namespace zorvex::ctl
