// The device seam over a device set attached by the test in this process.
#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "seam/platform.h"
#include "seams/in_memory_devices.h"
#include "seams/simulated_devices.h"

namespace zorvex::sim {

namespace {

SimDevices* attached = nullptr;
// The handles open now, each of which sees every report its chip sends.
std::vector<SimHandle*> openHandles;
// Reports of "another program", each taken by its chip just before the next
// report the library sends it.
std::vector<std::pair<std::size_t, HidReport>> interjections;

// The chip takes the report; every handle open on it gets the reply.
bool deliver(std::size_t chip, const HidReport& report) {
    std::optional<HidReport> reply;
    if (!writeSim(*attached, chip, report, reply)) {
        return false;
    }
    if (reply) {
        deliverToHandles(openHandles, chip, *reply);
    }
    return true;
}

SimHandle* asSim(platform::DeviceHandle device) {
    return static_cast<SimHandle*>(device);
}

}  // namespace

void attachDevices(SimDevices* devices) {
    attached = devices;
    interjections.clear();
}

void interject(std::size_t chip, const HidReport& report) {
    interjections.emplace_back(chip, report);
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
    std::unique_ptr<SimHandle> handle = openSim(*attached, path);
    if (handle == nullptr) {
        return nullptr;
    }
    try {
        openHandles.push_back(handle.get());
    } catch (const std::bad_alloc&) {
        closeSim(*attached, *handle);
        return nullptr;
    }
    return handle.release();
}

void closeDevice(DeviceHandle device) {
    if (attached != nullptr) {
        closeSim(*attached, *asSim(device));
    }
    openHandles.erase(std::remove(openHandles.begin(), openHandles.end(), asSim(device)),
                      openHandles.end());
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

bool readDevicePort(const DevicePath& path, std::string& port) {
    return attached != nullptr && readSimPort(*attached, path, port);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    if (attached == nullptr) {
        return false;
    }
    ++attached->counts.writes;
    const std::size_t chip = asSim(device)->chip;
    for (auto waiting = interjections.begin(); waiting != interjections.end();) {
        if (waiting->first == chip) {
            deliver(chip, waiting->second);
            waiting = interjections.erase(waiting);
        } else {
            ++waiting;
        }
    }
    return deliver(chip, report);
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t /*timeoutMs*/) {
    if (attached != nullptr) {
        ++attached->counts.reads;
    }
    return readSim(*asSim(device), reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
