// zorvexctl where it has no MQTT client (the Windows build): the units of
// this machine only, by their ids.
#include "remote_units.h"

namespace zorvex::ctl {

bool readKnown(const Request& request, Known&, std::string& problem) {
    if (request.configGiven) {
        problem = "--config: this build reads no settings file; name units by their ids";
        return false;
    }
    return true;
}

Outcome runThroughBroker(const Request&, const Known&, std::vector<UnitRow>*) {
    return failed("--broker: this build of zorvexctl switches this machine's units only");
}

}  // namespace zorvex::ctl
