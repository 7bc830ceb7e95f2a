// The seam operations on an emulated device set, shared by the in-process
// seam of the unit tests and the scenario-file seam of the simulated library.
#ifndef ZORVEX_SIM_SIMULATED_DEVICES_H
#define ZORVEX_SIM_SIMULATED_DEVICES_H

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "chip/mcp2221a_emulator.h"
#include "seam/platform.h"

namespace zorvex::sim {

// What a simulated handle points at. Every report the chip sends while the
// handle is open waits here until it is read, as in the handle's input
// buffer: hidraw and Windows' HID class copy each report to every open.
struct SimHandle {
    std::size_t chip = 0;
    std::deque<HidReport> replies;
};

// Queues `reply`, sent by chip `chip`, for each of `handles` open on it.
void deliverToHandles(const std::vector<SimHandle*>& handles, std::size_t chip,
                      const HidReport& reply);

// The path under which device `index` is enumerated.
DevicePath simPath(std::size_t index);

void listSimInterfaces(const SimDevices& devices, DeviceList& list);

// A handle on the chip behind `path` when it is present and may be opened,
// counted as open on the chip; nullptr otherwise.
std::unique_ptr<SimHandle> openSim(SimDevices& devices, const DevicePath& path);
// Counts the handle as closed on its chip.
void closeSim(SimDevices& devices, const SimHandle& handle);

bool readSimIds(const SimDevices& devices, std::size_t chip, std::uint16_t& vendorId,
                std::uint16_t& productId);

// Copies the string into the buffer; one of 256 units or more fills it
// without a terminator, as a device may.
bool readSimString(const SimDevices& devices, std::size_t chip, platform::DeviceString which,
                   platform::StringBuffer& buffer);

// Where the device behind `path` is plugged in: its `port`, or by default
// its place in the list.
bool readSimPort(const SimDevices& devices, const DevicePath& path, std::string& port);

// Delivers the report to chip `chip`; its reply, if it answers, in `reply`.
bool writeSim(SimDevices& devices, std::size_t chip, const HidReport& report,
              std::optional<HidReport>& reply);

// Takes the reply that has waited longest. With none waiting it fails at
// once: the emulator has no clock, so the wait is spent without sleeping.
bool readSim(SimHandle& handle, HidReport& reply, std::uint32_t capacity, std::uint32_t& bytesRead);

}  // namespace zorvex::sim

#endif
