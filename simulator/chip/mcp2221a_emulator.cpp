#include "chip/mcp2221a_emulator.h"

#include <algorithm>

namespace zorvex::sim {

namespace {

constexpr std::uint8_t kSetGpioOutputValues = 0x50;
constexpr std::uint8_t kGetGpioValues = 0x51;
constexpr std::uint8_t kReadFlashData = 0xB0;
constexpr std::uint8_t kWriteFlashData = 0xB1;

constexpr std::uint8_t kFlashGpSettings = 0x01;
constexpr std::uint8_t kFlashProductString = 0x03;

constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusUnknownSubCommand = 0x01;
constexpr std::uint8_t kStatusNotSupported = 0x02;
constexpr std::uint8_t kStatusLocked = 0x03;
constexpr std::uint8_t kNotGpio = 0xEE;
// Get GPIO Values answers this for the direction of a pin that is not GPIO.
constexpr std::uint8_t kNotGpioDirection = 0xEF;

// Bytes 5 to 64 of a Write Flash Data report hold at most 30 code units.
constexpr std::size_t kMaxFlashStringUnits = 30;

bool isGpio(std::uint8_t setting) {
    return (setting & 0x07) == 0;
}

// Reports and replies are addressed here without the report ID: byte n of
// the command is report[n + 1].
struct Exchange {
    const HidReport& report;
    HidReport reply{};

    std::uint8_t in(std::size_t n) const { return report[n + 1]; }
    std::uint8_t& out(std::size_t n) { return reply[n + 1]; }
};

void writeFlash(SimChip& chip, Exchange& x) {
    if (chip.flashLocked) {
        x.out(1) = kStatusLocked;
        return;
    }
    switch (x.in(1)) {
        case kFlashGpSettings:
            for (std::size_t pin = 0; pin < 4; ++pin) {
                chip.flash.gpSettings[pin] = x.in(2 + pin);
            }
            break;
        case kFlashProductString: {
            const std::size_t bytes = x.in(2) >= 2 ? x.in(2) - 2u : 0u;
            const std::size_t units = std::min(bytes / 2, kMaxFlashStringUnits);
            chip.flash.product.clear();
            for (std::size_t i = 0; i < units; ++i) {
                chip.flash.product.push_back(
                    static_cast<char16_t>(x.in(4 + 2 * i) | (x.in(5 + 2 * i) << 8)));
            }
            break;
        }
        default:
            x.out(1) = kStatusNotSupported;
    }
}

void readFlash(const SimChip& chip, Exchange& x) {
    switch (x.in(1)) {
        case kFlashGpSettings:
            x.out(2) = 4;
            for (std::size_t pin = 0; pin < 4; ++pin) {
                x.out(4 + pin) = chip.flash.gpSettings[pin];
            }
            break;
        case kFlashProductString: {
            const std::size_t units = std::min(chip.flash.product.size(), kMaxFlashStringUnits);
            x.out(2) = static_cast<std::uint8_t>(2 + 2 * units);
            x.out(3) = 0x03;
            for (std::size_t i = 0; i < units; ++i) {
                x.out(4 + 2 * i) = static_cast<std::uint8_t>(chip.flash.product[i] & 0xFF);
                x.out(5 + 2 * i) = static_cast<std::uint8_t>(chip.flash.product[i] >> 8);
            }
            break;
        }
        default:
            x.out(1) = kStatusUnknownSubCommand;
    }
}

// Each pin has four command bytes: alter output, output, alter direction,
// direction. Only general-purpose I/O pins take them; the others answer 0xEE.
void setGpioOutputs(SimChip& chip, Exchange& x) {
    for (std::size_t pin = 0; pin < 4; ++pin) {
        const std::size_t at = 2 + 4 * pin;
        if (!isGpio(chip.gpSettings[pin])) {
            std::fill_n(x.reply.begin() + 1 + at, 4, kNotGpio);
            continue;
        }
        if (x.in(at) != 0) {
            chip.gpioOutput[pin] = x.in(at + 1) != 0 ? 1 : 0;
        }
        if (x.in(at + 2) != 0) {
            chip.gpSettings[pin] = static_cast<std::uint8_t>((chip.gpSettings[pin] & ~0x08) |
                                                             (x.in(at + 3) != 0 ? 0x08 : 0));
        }
        for (std::size_t i = 0; i < 4; ++i) {
            x.out(at + i) = x.in(at + i);
        }
    }
}

void getGpioValues(const SimChip& chip, Exchange& x) {
    for (std::size_t pin = 0; pin < 4; ++pin) {
        const bool gpio = isGpio(chip.gpSettings[pin]);
        x.out(2 + 2 * pin) = gpio ? chip.gpioOutput[pin] : kNotGpio;
        x.out(3 + 2 * pin) = gpio ? (chip.gpSettings[pin] >> 3) & 1 : kNotGpioDirection;
    }
}

}  // namespace

SimChip makeMcp2221a(std::u16string manufacturer, std::u16string product) {
    SimChip chip;
    chip.vendorId = 0x04D8;
    chip.productId = 0x00DD;
    chip.manufacturer = std::move(manufacturer);
    chip.product = std::move(product);
    chip.flash.product = chip.product;
    return chip;
}

bool hasMcp2221aIds(const SimChip& chip) {
    return chip.vendorId == 0x04D8 && chip.productId == 0x00DD;
}

std::optional<HidReport> receiveReport(SimChip& chip, const HidReport& report) {
    chip.received.push_back(toHex(report));
    if (chip.received.size() > kReceivedKept) {
        chip.received.erase(chip.received.begin(),
                            chip.received.end() - static_cast<std::ptrdiff_t>(kReceivedKept));
    }
    if (!chip.responds || !hasMcp2221aIds(chip)) {
        return std::nullopt;
    }
    Exchange x{report};
    x.out(0) = x.in(0);
    x.out(1) = kStatusOk;
    switch (x.in(0)) {
        case kWriteFlashData:
            writeFlash(chip, x);
            break;
        case kReadFlashData:
            readFlash(chip, x);
            break;
        case kSetGpioOutputValues:
            setGpioOutputs(chip, x);
            break;
        case kGetGpioValues:
            getGpioValues(chip, x);
            break;
        default:
            x.out(1) = kStatusNotSupported;
    }
    return x.reply;
}

void replug(SimChip& chip) {
    chip.product = chip.flash.product;
    chip.gpSettings = chip.flash.gpSettings;
    for (std::size_t pin = 0; pin < 4; ++pin) {
        chip.gpioOutput[pin] = (chip.gpSettings[pin] >> 4) & 1;
    }
}

std::string toHex(const HidReport& report) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(report.size() * 2);
    for (const std::uint8_t byte : report) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0x0F]);
    }
    return hex;
}

}  // namespace zorvex::sim
