// The device seam of the simulated library: the devices live in the scenario
// file named by ZORVEX_SIM_DEVICES, read afresh by every operation and
// written back after every report, so chip state lasts across processes.
#include <memory>

#include "platform.h"
#include "scenario_file.h"
#include "simulated_devices.h"

namespace zorvex::platform {

using namespace zorvex::sim;

namespace {

SimHandle* asSim(DeviceHandle device) {
    return static_cast<SimHandle*>(device);
}

std::optional<Scenario> currentScenario() {
    const std::string path = scenarioPath();
    return path.empty() ? std::nullopt : loadScenario(path);
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    if (const auto scenario = currentScenario()) {
        listSimInterfaces(scenario->devices, list);
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    auto scenario = currentScenario();
    return scenario ? openSim(scenario->devices, path).release() : nullptr;
}

void closeDevice(DeviceHandle device) {
    delete asSim(device);
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    const auto scenario = currentScenario();
    return scenario && readSimIds(scenario->devices, asSim(device)->chip, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    const auto scenario = currentScenario();
    return scenario && readSimString(scenario->devices, asSim(device)->chip, which, buffer);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    auto scenario = currentScenario();
    return scenario && writeSim(scenario->devices, *asSim(device), report) &&
           saveScenario(scenarioPath(), *scenario);
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t /*timeoutMs*/) {
    return readSim(*asSim(device), reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
