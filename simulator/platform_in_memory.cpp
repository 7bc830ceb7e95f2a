// The device seam over a device set attached by the test in this process.
#include "in_memory_devices.h"
#include "platform.h"
#include "simulated_devices.h"

namespace zorvex::sim {

namespace {

SimDevices* attached = nullptr;

SimHandle* asSim(platform::DeviceHandle device) {
    return static_cast<SimHandle*>(device);
}

}  // namespace

void attachDevices(SimDevices* devices) {
    attached = devices;
}

}  // namespace zorvex::sim

namespace zorvex::platform {

using namespace zorvex::sim;

void listHidInterfaces(DeviceList& list) {
    if (attached != nullptr) {
        ++attached->counts.enumerations;
        listSimInterfaces(*attached, list);
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    if (attached == nullptr) {
        return nullptr;
    }
    ++attached->counts.opens;
    return openSim(*attached, path).release();
}

void closeDevice(DeviceHandle device) {
    if (attached != nullptr) {
        closeSim(*attached, *asSim(device));
    }
    delete asSim(device);
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    return attached != nullptr && ++attached->counts.idReads &&
           readSimIds(*attached, asSim(device)->chip, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    return attached != nullptr && ++attached->counts.stringReads &&
           readSimString(*attached, asSim(device)->chip, which, buffer);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    return attached != nullptr && ++attached->counts.writes &&
           writeSim(*attached, *asSim(device), report);
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t /*timeoutMs*/) {
    if (attached != nullptr) {
        ++attached->counts.reads;
    }
    return readSim(*asSim(device), reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
