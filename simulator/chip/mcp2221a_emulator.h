// An emulated set of HID devices, MCP2221A chips among them, that answers
// reports as the chip does.
#ifndef ZORVEX_SIM_MCP2221A_EMULATOR_H
#define ZORVEX_SIM_MCP2221A_EMULATOR_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid_report.h"
#include "mcp2221a/protocol.h"

namespace zorvex::sim {

using mcp2221a::PinBytes;
// A chip from the factory has no pin that is general-purpose I/O, so it
// refuses to switch until its flash says otherwise and it has been replugged.
using mcp2221a::kFactoryGpSettings;

// What the chip's flash holds for the next power-up.
struct SimFlash {
    std::u16string product;
    PinBytes gpSettings = kFactoryGpSettings;
};

// One HID interface. Like the chip, it keeps what it runs with now and,
// apart from that, what its flash holds.
struct SimChip {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::u16string manufacturer;
    std::u16string product;
    // Plugged in: an absent device is not enumerated, and keeps its place
    // and state for when it is plugged in again.
    bool present = true;
    // Where it is plugged in (a USB port path such as "1-1.4"); empty: the
    // chip set says, from its place in the list.
    std::string port;
    bool openable = true;
    bool attributesReadable = true;
    bool manufacturerReadable = true;
    bool productReadable = true;
    bool responds = true;
    PinBytes gpSettings = kFactoryGpSettings;
    PinBytes gpioOutput{};
    SimFlash flash;
    bool flashLocked = false;
    // The last kReceivedKept reports received, oldest first, as 130
    // lower-case hex digits.
    std::vector<std::string> received;
    // Handles open on this device right now.
    int openHandles = 0;
};

// How often the library called each device-seam operation (the in-process
// seam counts them, so benchmarks can hold the library to its minimum).
struct SeamCounts {
    std::uint64_t enumerations = 0;
    std::uint64_t opens = 0;
    std::uint64_t idReads = 0;
    std::uint64_t stringReads = 0;
    std::uint64_t writes = 0;
    std::uint64_t reads = 0;
};

// The devices in enumeration order.
struct SimDevices {
    std::vector<SimChip> chips;
    SeamCounts counts;
};

// A chip as it comes fresh from the factory, its flash matching its live state.
SimChip makeMcp2221a(std::u16string manufacturer = u"Microchip Technology Inc.",
                     std::u16string product = u"MCP2221 USB-I2C/UART Combo");

bool hasMcp2221aIds(const SimChip& chip);

// How many reports a chip's `received` keeps: enough for any one exchange
// or test to be read back, and bounded, so that a chip polled for days does
// not grow its file (which is rewritten for every report) without end.
constexpr std::size_t kReceivedKept = 32;

// Records `report` as received and, for a chip that responds, returns its reply.
std::optional<HidReport> receiveReport(SimChip& chip, const HidReport& report);

// Unplug and plug in again: the flash becomes the live state.
void replug(SimChip& chip);

std::string toHex(const HidReport& report);

}  // namespace zorvex::sim

#endif
