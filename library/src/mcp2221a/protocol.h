// The MCP2221A's USB identity and the part of its HID command set that
// zorvex speaks, as Microchip's data sheet gives them: every code, status
// and offset once, named for the command or reply it belongs to. The
// library, zorvexd, the emulator, the test equipment and the fuzz targets
// all read them from here.
//
// Offsets are indices into a HidReport, which carries the report ID (0)
// in front of the chip's 64 bytes: byteAt(n) is the data sheet's byte n.
#ifndef ZORVEX_MCP2221A_PROTOCOL_H
#define ZORVEX_MCP2221A_PROTOCOL_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvex::mcp2221a {

// USB identity: the IDs, the device release (bcdDevice) a chip reports,
// and the HID interface's number (the CDC interfaces come first).
constexpr std::uint16_t kVendorId = 0x04D8;
constexpr std::uint16_t kProductId = 0x00DD;
constexpr std::uint16_t kDeviceRelease = 0x0100;
constexpr int kHidInterface = 2;

// Every command and every reply is one 64-byte report; on the HID stacks it
// travels with the report ID 0 in front.
constexpr std::size_t kReportBytes = 64;
constexpr std::size_t kHidReportSize = 1 + kReportBytes;

constexpr std::size_t byteAt(std::size_t n) {
    return 1 + n;
}

// Byte 0 of a command is its code, which the reply echoes; byte 1 of a
// reply is its status.
constexpr std::size_t kCommandCode = byteAt(0);
constexpr std::size_t kStatus = byteAt(1);

// Command codes.
constexpr std::uint8_t kStatusSetParameters = 0x10;
constexpr std::uint8_t kSetGpioOutputValues = 0x50;
constexpr std::uint8_t kGetGpioValues = 0x51;
constexpr std::uint8_t kGetSramSettings = 0x61;
constexpr std::uint8_t kReadFlashData = 0xB0;
constexpr std::uint8_t kWriteFlashData = 0xB1;

// Statuses.
constexpr std::uint8_t kStatusOk = 0x00;
// Read Flash Data for a sub-command it does not know.
constexpr std::uint8_t kStatusUnknownSubCommand = 0x01;
// A command the chip does not know, or a Write Flash Data sub-command.
constexpr std::uint8_t kStatusNotSupported = 0x02;
// Write Flash Data on a chip whose flash is locked.
constexpr std::uint8_t kStatusLocked = 0x03;

// GP0 to GP3, one byte each.
constexpr std::size_t kGpPins = 4;
using PinBytes = std::array<std::uint8_t, kGpPins>;

// A GP setting byte, in flash and in the running chip: the pin's
// designation (0 is general-purpose I/O), its direction, and the output
// value it starts with at power-up.
constexpr std::uint8_t kGpDesignationMask = 0x07;
constexpr std::uint8_t kGpioDesignation = 0x00;
constexpr std::uint8_t kGpDirectionInput = 0x08;
constexpr std::uint8_t kGpPowerUpHigh = 0x10;
// GP0..GP3 as a chip leaves the factory: SSPND, LED_URx, USBCFG, LED_I2C,
// none of them general-purpose I/O.
constexpr PinBytes kFactoryGpSettings{0x12, 0x13, 0x11, 0x11};

constexpr bool isGpio(std::uint8_t setting) {
    return (setting & kGpDesignationMask) == kGpioDesignation;
}

// What a pin that is not general-purpose I/O answers: in each of its four
// bytes of a Set GPIO Output Values reply, and in its value byte of a Get
// GPIO Values reply (its direction byte then holds kNotGpioDirection).
constexpr std::uint8_t kNotGpio = 0xEE;
constexpr std::uint8_t kNotGpioDirection = 0xEF;

// Set GPIO Output Values (0x50): command and reply share the layout, four
// bytes per pin from byte 2. The reply echoes the command's bytes for a
// GPIO pin, kNotGpio in all four for any other.
namespace set_gpio {
constexpr std::size_t kPinBytes = 4;
constexpr std::size_t pinAt(std::size_t pin) {
    return byteAt(2 + kPinBytes * pin);
}
// Within a pin's four bytes.
constexpr std::size_t kAlterOutput = 0;
constexpr std::size_t kOutput = 1;
constexpr std::size_t kAlterDirection = 2;
constexpr std::size_t kDirection = 3;
constexpr std::size_t kGp0AlterOutput = pinAt(0) + kAlterOutput;
constexpr std::size_t kGp0Output = pinAt(0) + kOutput;
constexpr std::size_t kGp0AlterDirection = pinAt(0) + kAlterDirection;
constexpr std::size_t kGp0Direction = pinAt(0) + kDirection;
// An "alter" byte that asks for the change, and the direction values.
constexpr std::uint8_t kAlter = 0x01;
constexpr std::uint8_t kDirectionOutput = 0x00;
}  // namespace set_gpio

// Get GPIO Values (0x51) reply: two bytes per pin from byte 2, its value
// and its direction (1: input).
namespace get_gpio_reply {
constexpr std::size_t kPinBytes = 2;
constexpr std::size_t valueAt(std::size_t pin) {
    return byteAt(2 + kPinBytes * pin);
}
constexpr std::size_t directionAt(std::size_t pin) {
    return valueAt(pin) + 1;
}
constexpr std::size_t kGp0Value = valueAt(0);
}  // namespace get_gpio_reply

// Status/Set Parameters (0x10): the command may cancel the current I2C
// transfer and set the I2C speed; the reply says what became of each, and
// the state of the chip's I2C engine (0: idle).
namespace status_parameters {
constexpr std::size_t kCancelTransfer = byteAt(2);
constexpr std::size_t kSetSpeed = byteAt(3);
constexpr std::size_t kSpeedDivider = byteAt(4);
constexpr std::uint8_t kCancel = 0x10;
constexpr std::uint8_t kSetSpeedCode = 0x20;
}  // namespace status_parameters

namespace status_reply {
constexpr std::size_t kCancelMarker = byteAt(2);
constexpr std::size_t kSpeedMarker = byteAt(3);
constexpr std::size_t kSpeedDivider = byteAt(4);
constexpr std::size_t kI2cState = byteAt(8);
// A cancel of an engine that was idle anyway, and a new speed taken.
constexpr std::uint8_t kAlreadyIdle = 0x11;
constexpr std::uint8_t kSpeedConsidered = 0x20;
}  // namespace status_reply

// Get SRAM Settings (0x61) reply: the settings the chip runs with now,
// among them its USB IDs (low byte first) from byte 8 and GP0..GP3's
// settings from byte 22.
namespace sram_reply {
constexpr std::size_t kVendorIdAt = byteAt(8);
constexpr std::size_t kProductIdAt = byteAt(10);
constexpr std::size_t kGpSettingsAt = byteAt(22);
}  // namespace sram_reply

// Read Flash Data (0xB0) and Write Flash Data (0xB1): byte 1 of the
// command names what is read or written.
namespace flash {
constexpr std::size_t kSubCommand = byteAt(1);
constexpr std::uint8_t kGpSettings = 0x01;
constexpr std::uint8_t kProductString = 0x03;
// The product string travels as a USB string descriptor from byte 2, in
// the Write Flash Data command and the Read Flash Data reply alike: its
// length in bytes (two for the header, two per UTF-16LE unit), its type,
// then the units. A report holds 30 units.
constexpr std::size_t kStringLength = byteAt(2);
constexpr std::size_t kStringType = byteAt(3);
constexpr std::size_t kStringUnitsAt = byteAt(4);
constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr std::size_t kStringHeaderBytes = 2;
constexpr std::size_t kMaxStringUnits = 30;
}  // namespace flash

// Write Flash Data command: the GP settings from byte 2, GP0 first.
namespace write_flash {
constexpr std::size_t kGpSettingsAt = byteAt(2);
}  // namespace write_flash

// Read Flash Data reply: for the GP settings, how many bytes follow, and
// the settings from byte 4.
namespace read_flash_reply {
constexpr std::size_t kGpSettingsCount = byteAt(2);
constexpr std::size_t kGpSettingsAt = byteAt(4);
}  // namespace read_flash_reply

}  // namespace zorvex::mcp2221a

#endif
