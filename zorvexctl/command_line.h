// zorvexctl's command line: what to do, to which unit, and how. Options may
// stand before or after the command, as the argument lists of LAVA's and
// labgrid's power commands put them.
#ifndef ZORVEX_ZORVEXCTL_COMMAND_LINE_H
#define ZORVEX_ZORVEXCTL_COMMAND_LINE_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvex::ctl {

enum class Action { list, on, off, state, cycle, help, version };

struct Request {
    Action action = Action::help;
    std::string unit;  // an id or a name from the settings file
    bool json = false;
    std::optional<double> offSeconds;  // cycle: empty for the settings' cycle_off_time
    double timeoutSeconds = 5.0;       // through the broker: how long zorvexd has to answer
    std::string config;                // empty: zorvexd's default file, where there is one
    bool configGiven = false;
    // How to reach zorvexd, as zorvexd's own flags name it (--broker and the
    // rest); none: the units of this machine, directly.
    std::vector<std::pair<std::string, std::string>> broker;
};

// Reads `arguments` (without the program's name). False, with `problem`
// one line, for a usage error.
bool readCommandLine(const std::vector<std::string>& arguments, Request& request,
                     std::string& problem);

extern const char* const kUsage;

}  // namespace zorvex::ctl

#endif
