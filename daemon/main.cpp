// zorvexd: this machine's DELOQ-72N units on an MQTT broker.
#include <cstdio>
#include <string>
#include <vector>

#include "daemon_options.h"
#include "daemon_run.h"
#include "unit_inventory.h"

namespace {

using namespace zorvex::daemon;

int listUnits() {
    for (const UnitSeen& unit : findUnits()) {
        std::printf("%s %s\n", unit.id.c_str(), describe(readGp0(unit.path)));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string problem;
    if (!readOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
        std::fprintf(stderr, "zorvexd: %s\n", problem.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zorvexd %s\n", ZORVEX_VERSION);
        return 0;
    }
    if (options.list) {
        return listUnits();
    }
    return runDaemon(options);
}
