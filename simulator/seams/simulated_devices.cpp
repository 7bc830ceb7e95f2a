#include "seams/simulated_devices.h"

#include <algorithm>
#include <cstring>

namespace zorvex::sim {

namespace {

constexpr const char* kPathPrefix = "sim-hid#";

const SimChip* chipAt(const SimDevices& devices, std::size_t chip) {
    return chip < devices.chips.size() ? &devices.chips[chip] : nullptr;
}

}  // namespace

DevicePath simPath(std::size_t index) {
    return kPathPrefix + std::to_string(index);
}

void listSimInterfaces(const SimDevices& devices, DeviceList& list) {
    for (std::size_t i = 0; i < devices.chips.size(); ++i) {
        if (devices.chips[i].present) {
            list.push_back(simPath(i));
        }
    }
}

// The device index a simulated path names.
std::optional<std::size_t> indexOf(const DevicePath& path) {
    const std::size_t prefix = std::strlen(kPathPrefix);
    if (path.compare(0, prefix, kPathPrefix) != 0 || path.size() == prefix ||
        path.size() > prefix + 9 ||
        path.find_first_not_of("0123456789", prefix) != std::string::npos) {
        return std::nullopt;
    }
    return std::stoul(path.substr(prefix));
}

std::unique_ptr<SimHandle> openSim(SimDevices& devices, const DevicePath& path) {
    const std::optional<std::size_t> index = indexOf(path);
    if (!index) {
        return nullptr;
    }
    auto handle = std::make_unique<SimHandle>();
    handle->chip = *index;
    if (handle->chip >= devices.chips.size() || !devices.chips[handle->chip].present ||
        !devices.chips[handle->chip].openable) {
        return nullptr;
    }
    ++devices.chips[handle->chip].openHandles;
    return handle;
}

void closeSim(SimDevices& devices, const SimHandle& handle) {
    if (handle.chip < devices.chips.size()) {
        --devices.chips[handle.chip].openHandles;
    }
}

bool readSimPort(const SimDevices& devices, const DevicePath& path, std::string& port) {
    const std::optional<std::size_t> index = indexOf(path);
    if (!index || *index >= devices.chips.size()) {
        return false;
    }
    const std::string& named = devices.chips[*index].port;
    port = named.empty() ? std::to_string(*index) : named;
    return true;
}

bool readSimIds(const SimDevices& devices, std::size_t chip, std::uint16_t& vendorId,
                std::uint16_t& productId) {
    const SimChip* device = chipAt(devices, chip);
    if (device == nullptr || !device->attributesReadable) {
        return false;
    }
    vendorId = device->vendorId;
    productId = device->productId;
    return true;
}

bool readSimString(const SimDevices& devices, std::size_t chip, platform::DeviceString which,
                   platform::StringBuffer& buffer) {
    const SimChip* device = chipAt(devices, chip);
    if (device == nullptr) {
        return false;
    }
    const bool manufacturer = which == platform::DeviceString::manufacturer;
    if (!(manufacturer ? device->manufacturerReadable : device->productReadable)) {
        return false;
    }
    const std::u16string& text = manufacturer ? device->manufacturer : device->product;
    std::copy_n(text.begin(), std::min(text.size(), buffer.size()), buffer.begin());
    return true;
}

void deliverToHandles(const std::vector<SimHandle*>& handles, std::size_t chip,
                      const HidReport& reply) {
    for (SimHandle* handle : handles) {
        if (handle->chip == chip) {
            handle->replies.push_back(reply);
        }
    }
}

bool writeSim(SimDevices& devices, std::size_t chip, const HidReport& report,
              std::optional<HidReport>& reply) {
    if (chip >= devices.chips.size()) {
        return false;
    }
    reply = receiveReport(devices.chips[chip], report);
    return true;
}

bool readSim(SimHandle& handle, HidReport& reply, std::uint32_t capacity,
             std::uint32_t& bytesRead) {
    bytesRead = 0;
    if (handle.replies.empty()) {
        return false;
    }
    bytesRead = std::min<std::uint32_t>(capacity, kHidReportSize);
    std::copy_n(handle.replies.front().begin(), bytesRead, reply.begin());
    handle.replies.pop_front();
    return true;
}

}  // namespace zorvex::sim
