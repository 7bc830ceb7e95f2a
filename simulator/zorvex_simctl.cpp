// zorvex_simctl: acts on the simulated chips of the scenario file named by
// ZORVEX_SIM_DEVICES, for demonstrations and tests.
//   zorvex_simctl show          one line per device: IDs, product, GP0, flash
//   zorvex_simctl unplug <n>    unplug device n (it keeps its place in the file)
//   zorvex_simctl plug <n>      plug device n in: its chip powers up from its flash
//   zorvex_simctl replug <n>    unplug device n and plug it in again
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scenario/scenario_lock.h"
#include "scenario/scenario_store.h"
#include "text/utf_text.h"

using namespace zorvex::sim;

namespace {

int usage() {
    std::fputs("usage: zorvex_simctl show | unplug <device> | plug <device> | replug <device>\n",
               stderr);
    return 2;
}

// Devices are numbered among all HID interfaces, chips among the MCP2221As
// plugged in, as the library numbers them.
void show(const SimDevices& devices) {
    std::size_t chips = 0;
    for (std::size_t i = 0; i < devices.chips.size(); ++i) {
        const SimChip& chip = devices.chips[i];
        std::printf("device %zu", i);
        if (!chip.present) {
            std::printf(" (unplugged)");
        } else if (hasMcp2221aIds(chip)) {
            std::printf(" (chip %zu)", chips++);
        }
        std::printf(": %04x:%04x product \"%s\"", chip.vendorId, chip.productId,
                    zorvex::text::utf16ToUtf8(chip.product).c_str());
        if (hasMcp2221aIds(chip)) {
            // GP0 drives the switch only once its setting makes it GPIO.
            if (zorvex::mcp2221a::isGpio(chip.gpSettings[0])) {
                std::printf(", GP0 output %u", chip.gpioOutput[0]);
            } else {
                std::printf(", GP0 not GPIO");
            }
            std::printf(", flash product \"%s\"",
                        zorvex::text::utf16ToUtf8(chip.flash.product).c_str());
        }
        std::printf(", %zu report(s) received\n", chip.received.size());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool showing = argc == 2 && std::strcmp(argv[1], "show") == 0;
    const bool acting =
        argc == 3 && (std::strcmp(argv[1], "replug") == 0 || std::strcmp(argv[1], "plug") == 0 ||
                      std::strcmp(argv[1], "unplug") == 0);
    if (!showing && !acting) {
        return usage();
    }
    const std::string path = scenarioPath();
    if (path.empty()) {
        std::fprintf(stderr, "zorvex_simctl: %s is not set\n", kScenarioVariable);
        return 1;
    }
    // The same lock as the simulated library's, so no report is lost.
    const ScenarioLock lock(path);
    std::string problem;
    auto scenario = lock.held() ? loadScenario(path, &problem) : std::nullopt;
    if (!scenario) {
        std::fprintf(stderr, "zorvex_simctl: %s: %s\n", path.c_str(),
                     lock.held() ? problem.c_str() : "missing or cannot be locked");
        return 1;
    }
    if (showing) {
        show(scenario->devices);
        return 0;
    }
    char* end = nullptr;
    const unsigned long index = std::strtoul(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || index >= scenario->devices.chips.size()) {
        std::fprintf(stderr, "zorvex_simctl: no device %s\n", argv[2]);
        return 1;
    }
    SimChip& chip = scenario->devices.chips[index];
    if (std::strcmp(argv[1], "unplug") == 0) {
        chip.present = false;
    } else {
        replug(chip);
        chip.present = true;
    }
    if (!saveScenario(path, *scenario)) {
        std::fprintf(stderr, "zorvex_simctl: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
