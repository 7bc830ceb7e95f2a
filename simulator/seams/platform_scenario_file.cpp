// The device seam of the simulated library: the devices live in the scenario
// file named by ZORVEX_SIM_DEVICES. The process reads it once and again only
// when the file has changed (looked at once per enumeration, that is once
// per exported call), and writes back after every report a chip received,
// under the file's lock, so that chip state lasts across processes and no
// report of another process is lost.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "scenario/scenario_delivery.h"
#include "scenario/scenario_store.h"
#include "seam/platform.h"
#include "seams/simulated_devices.h"

namespace zorvex::platform {

using namespace zorvex::sim;

namespace {

SimHandle* asSim(DeviceHandle device) {
    return static_cast<SimHandle*>(device);
}

// This process's copy of the file and its open handles: the simulator's
// only state.
CachedScenario& cache() {
    static CachedScenario cached;
    return cached;
}

// Every handle of this process open on a chip gets each reply it sends.
std::vector<SimHandle*>& openHandles() {
    static std::vector<SimHandle*> handles;
    return handles;
}

SimDevices* devices() {
    return cache().scenario ? &cache().scenario->devices : nullptr;
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    refresh(cache(), scenarioPath());
    if (SimDevices* current = devices()) {
        listSimInterfaces(*current, list);
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    SimDevices* current = devices();
    std::unique_ptr<SimHandle> handle = current != nullptr ? openSim(*current, path) : nullptr;
    if (handle == nullptr) {
        return nullptr;
    }
    try {
        openHandles().push_back(handle.get());
    } catch (const std::bad_alloc&) {
        closeSim(*current, *handle);
        return nullptr;
    }
    return handle.release();
}

void closeDevice(DeviceHandle device) {
    if (SimDevices* current = devices()) {
        closeSim(*current, *asSim(device));
    }
    std::vector<SimHandle*>& handles = openHandles();
    handles.erase(std::remove(handles.begin(), handles.end(), asSim(device)), handles.end());
    delete asSim(device);
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    const SimDevices* current = devices();
    return current != nullptr && readSimIds(*current, asSim(device)->chip, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    const SimDevices* current = devices();
    return current != nullptr && readSimString(*current, asSim(device)->chip, which, buffer);
}

bool readDevicePort(const DevicePath& path, std::string& port) {
    const SimDevices* current = devices();
    return current != nullptr && readSimPort(*current, path, port);
}

// The chip takes the report in the file as it is now, read under the lock,
// and answers only once what the report changed has been written back.
bool writeReport(DeviceHandle device, const HidReport& report) {
    const std::size_t chip = asSim(device)->chip;
    Delivery delivery = deliverReport(scenarioPath(), chip, report, &cache());
    if (delivery.reply) {
        deliverToHandles(openHandles(), chip, *delivery.reply);
    }
    return delivery.delivered;
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t /*timeoutMs*/) {
    return readSim(*asSim(device), reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
