// What a zorvexctl command came to, locally or through zorvexd, and what
// the settings file tells it.
#ifndef ZORVEX_ZORVEXCTL_OUTCOME_H
#define ZORVEX_ZORVEXCTL_OUTCOME_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorvex::ctl {

// Done means the unit read back as asked; otherwise `problem` is the one
// line that says why.
struct Outcome {
    bool done = false;
    std::string problem;
    std::string state;  // what state prints: ON or OFF
};

// One unit of list.
struct UnitRow {
    std::string id;
    std::string name;     // empty: none given
    std::string product;  // the chip's product string
    std::string state;    // ON, OFF, or empty when it did not read
    bool switchable = false;
};

// What zorvexd's settings file tells zorvexctl.
struct Known {
    std::map<std::string, std::string> names;  // by unit id
    double cycleOffSeconds = 5.0;              // zorvexd's cycle_off_time
};

// The id `unit` means: itself when one of `ids` is it, else the id of the
// one unit named so; empty for neither.
std::string idOf(const std::string& unit, const std::vector<std::string>& ids, const Known& known);

inline Outcome failed(std::string problem) {
    return {false, std::move(problem), {}};
}

}  // namespace zorvex::ctl

#endif
