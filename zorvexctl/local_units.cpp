#include "local_units.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "report_exchange.h"
#include "units/unit_inventory.h"

namespace zorvex::ctl {

namespace {

using units::Gp0;
using units::UnitSeen;

std::string stateWord(Gp0 reading) {
    return reading == Gp0::on ? "ON" : reading == Gp0::off ? "OFF" : "";
}

std::string notSwitchable(const UnitSeen& unit) {
    return "unit " + unit.id + " cannot be switched: its GP0 is not a GPIO; run zorvex_cui " +
           std::to_string(unit.chip) + " -set and replug it";
}

std::string notAnswering(const UnitSeen& unit) {
    return "unit " + unit.id + " did not answer within " + std::to_string(kReplyTimeoutMs) + " ms";
}

// GP0 as it reads now, which must be `expected` (ON or OFF) when given.
Outcome readBack(const UnitSeen& unit, const std::string& expected) {
    const Gp0 reading = units::readGp0(unit.path);
    if (reading == Gp0::notGpio) {
        return failed(notSwitchable(unit));
    }
    if (reading == Gp0::noAnswer) {
        return failed(notAnswering(unit));
    }
    const std::string state = stateWord(reading);
    if (!expected.empty() && state != expected) {
        return failed("unit " + unit.id + " read back " + state + " after " + expected +
                      " was asked");
    }
    return {true, {}, state};
}

Outcome switchTo(const UnitSeen& unit, bool on) {
    switch (units::switchGp0(unit.path, on)) {
        case units::Switch::taken:
            return readBack(unit, on ? "ON" : "OFF");
        case units::Switch::notGpio:
            return failed(notSwitchable(unit));
        case units::Switch::refused:
            return failed("unit " + unit.id + " refused the switch");
        case units::Switch::noAnswer:
            break;
    }
    // A chip that did not answer is not asked again: one wait is the bound.
    return failed(notAnswering(unit));
}

}  // namespace

std::vector<UnitRow> listLocally(const Known& known) {
    std::vector<UnitRow> rows;
    for (const UnitSeen& unit : units::findUnits()) {
        const Gp0 reading = units::readGp0(unit.path);
        const auto named = known.names.find(unit.id);
        rows.push_back({unit.id, named != known.names.end() ? named->second : std::string(),
                        unit.product, stateWord(reading),
                        reading == Gp0::on || reading == Gp0::off});
    }
    return rows;
}

Outcome runLocally(const Request& request, const Known& known) {
    const std::vector<UnitSeen> seen = units::findUnits();
    std::vector<std::string> ids;
    for (const UnitSeen& unit : seen) {
        ids.push_back(unit.id);
    }
    const std::string id = idOf(request.unit, ids, known);
    if (id.empty()) {
        return failed("no unit \"" + request.unit + "\" here (zorvexctl list shows the units)");
    }
    const UnitSeen& unit =
        seen[static_cast<std::size_t>(std::find(ids.begin(), ids.end(), id) - ids.begin())];
    switch (request.action) {
        case Action::state:
            return readBack(unit, {});
        case Action::on:
        case Action::off:
            return switchTo(unit, request.action == Action::on);
        case Action::cycle: {
            const Outcome off = switchTo(unit, false);
            if (!off.done) {
                return off;
            }
            std::this_thread::sleep_for(
                std::chrono::duration<double>(request.offSeconds.value_or(known.cycleOffSeconds)));
            return switchTo(unit, true);
        }
        default:
            return failed("nothing to do");
    }
}

}  // namespace zorvex::ctl
