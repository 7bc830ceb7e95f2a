// zorvexd: this machine's DELOQ-72N units on an MQTT broker.
#include <cstdio>
#include <string>
#include <vector>

#include "daemon_loop.h"
#include "settings.h"
#include "units/unit_inventory.h"

namespace {

using namespace zorvex::daemon;
using namespace zorvex::units;

int listUnits() {
    for (const UnitSeen& unit : findUnits()) {
        std::printf("%s %s\n", unit.id.c_str(), describe(readGp0(unit.path)));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    std::string problem;
    if (!readSettings(std::vector<std::string>(argv + 1, argv + argc), settings, problem)) {
        std::fprintf(stderr, "zorvexd: %s\n", problem.c_str());
        return 2;
    }
    if (settings.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (settings.version) {
        std::printf("zorvexd %s\n", ZORVEX_VERSION);
        return 0;
    }
    if (settings.list) {
        return listUnits();
    }
    return runDaemon(settings);
}
