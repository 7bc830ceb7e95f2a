#include "chip/mcp2221a_emulator.h"

#include <algorithm>

namespace zorvex::sim {

namespace {

using namespace mcp2221a;

// A chip's answer to one command: the command's code echoed, status OK,
// unless the command says otherwise.
struct Exchange {
    const HidReport& report;
    HidReport reply{};
};

void writeFlash(SimChip& chip, Exchange& x) {
    if (chip.flashLocked) {
        x.reply[kStatus] = kStatusLocked;
        return;
    }
    switch (x.report[flash::kSubCommand]) {
        case flash::kGpSettings:
            for (std::size_t pin = 0; pin < kGpPins; ++pin) {
                chip.flash.gpSettings[pin] = x.report[write_flash::kGpSettingsAt + pin];
            }
            break;
        case flash::kProductString: {
            // The descriptor's length counts its two header bytes too.
            const std::size_t length = x.report[flash::kStringLength];
            const std::size_t bytes =
                length >= flash::kStringHeaderBytes ? length - flash::kStringHeaderBytes : 0u;
            const std::size_t units = std::min(bytes / 2, flash::kMaxStringUnits);
            chip.flash.product.clear();
            for (std::size_t i = 0; i < units; ++i) {
                const std::size_t at = flash::kStringUnitsAt + 2 * i;
                chip.flash.product.push_back(
                    static_cast<char16_t>(x.report[at] | (x.report[at + 1] << 8)));
            }
            break;
        }
        default:
            x.reply[kStatus] = kStatusNotSupported;
    }
}

void readFlash(const SimChip& chip, Exchange& x) {
    switch (x.report[flash::kSubCommand]) {
        case flash::kGpSettings:
            x.reply[read_flash_reply::kGpSettingsCount] = kGpPins;
            for (std::size_t pin = 0; pin < kGpPins; ++pin) {
                x.reply[read_flash_reply::kGpSettingsAt + pin] = chip.flash.gpSettings[pin];
            }
            break;
        case flash::kProductString: {
            const std::size_t units = std::min(chip.flash.product.size(), flash::kMaxStringUnits);
            x.reply[flash::kStringLength] =
                static_cast<std::uint8_t>(flash::kStringHeaderBytes + 2 * units);
            x.reply[flash::kStringType] = flash::kStringDescriptorType;
            for (std::size_t i = 0; i < units; ++i) {
                const std::size_t at = flash::kStringUnitsAt + 2 * i;
                x.reply[at] = static_cast<std::uint8_t>(chip.flash.product[i] & 0xFF);
                x.reply[at + 1] = static_cast<std::uint8_t>(chip.flash.product[i] >> 8);
            }
            break;
        }
        default:
            x.reply[kStatus] = kStatusUnknownSubCommand;
    }
}

// Only general-purpose I/O pins take their four command bytes; the others
// answer kNotGpio in all four.
void setGpioOutputs(SimChip& chip, Exchange& x) {
    for (std::size_t pin = 0; pin < kGpPins; ++pin) {
        const std::size_t at = set_gpio::pinAt(pin);
        if (!isGpio(chip.gpSettings[pin])) {
            std::fill_n(x.reply.begin() + static_cast<std::ptrdiff_t>(at), set_gpio::kPinBytes,
                        kNotGpio);
            continue;
        }
        if (x.report[at + set_gpio::kAlterOutput] != 0) {
            chip.gpioOutput[pin] = x.report[at + set_gpio::kOutput] != 0 ? 1 : 0;
        }
        if (x.report[at + set_gpio::kAlterDirection] != 0) {
            const bool input = x.report[at + set_gpio::kDirection] != 0;
            chip.gpSettings[pin] = static_cast<std::uint8_t>(
                (chip.gpSettings[pin] & ~kGpDirectionInput) | (input ? kGpDirectionInput : 0));
        }
        std::copy_n(x.report.begin() + static_cast<std::ptrdiff_t>(at), set_gpio::kPinBytes,
                    x.reply.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

// The chip has no I2C device behind it here: its engine is always idle, so
// a cancel has nothing to cancel and a new speed is always taken.
void statusSetParameters(Exchange& x) {
    using namespace status_parameters;
    if (x.report[kCancelTransfer] == kCancel) {
        x.reply[status_reply::kCancelMarker] = status_reply::kAlreadyIdle;
    }
    if (x.report[kSetSpeed] == kSetSpeedCode) {
        x.reply[status_reply::kSpeedMarker] = status_reply::kSpeedConsidered;
        x.reply[status_reply::kSpeedDivider] = x.report[kSpeedDivider];
    }
}

void getSramSettings(const SimChip& chip, Exchange& x) {
    x.reply[sram_reply::kVendorIdAt] = static_cast<std::uint8_t>(chip.vendorId & 0xFF);
    x.reply[sram_reply::kVendorIdAt + 1] = static_cast<std::uint8_t>(chip.vendorId >> 8);
    x.reply[sram_reply::kProductIdAt] = static_cast<std::uint8_t>(chip.productId & 0xFF);
    x.reply[sram_reply::kProductIdAt + 1] = static_cast<std::uint8_t>(chip.productId >> 8);
    std::copy(chip.gpSettings.begin(), chip.gpSettings.end(),
              x.reply.begin() + static_cast<std::ptrdiff_t>(sram_reply::kGpSettingsAt));
}

void getGpioValues(const SimChip& chip, Exchange& x) {
    for (std::size_t pin = 0; pin < kGpPins; ++pin) {
        const bool gpio = isGpio(chip.gpSettings[pin]);
        const bool input = (chip.gpSettings[pin] & kGpDirectionInput) != 0;
        x.reply[get_gpio_reply::valueAt(pin)] = gpio ? chip.gpioOutput[pin] : kNotGpio;
        x.reply[get_gpio_reply::directionAt(pin)] = gpio ? (input ? 1 : 0) : kNotGpioDirection;
    }
}

}  // namespace

SimChip makeMcp2221a(std::u16string manufacturer, std::u16string product) {
    SimChip chip;
    chip.vendorId = mcp2221a::kVendorId;
    chip.productId = mcp2221a::kProductId;
    chip.manufacturer = std::move(manufacturer);
    chip.product = std::move(product);
    chip.flash.product = chip.product;
    return chip;
}

bool hasMcp2221aIds(const SimChip& chip) {
    return chip.vendorId == mcp2221a::kVendorId && chip.productId == mcp2221a::kProductId;
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
    using namespace mcp2221a;
    Exchange x{report};
    x.reply[kCommandCode] = report[kCommandCode];
    x.reply[kStatus] = kStatusOk;
    switch (report[kCommandCode]) {
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
        case kStatusSetParameters:
            statusSetParameters(x);
            break;
        case kGetSramSettings:
            getSramSettings(chip, x);
            break;
        default:
            x.reply[kStatus] = kStatusNotSupported;
    }
    return x.reply;
}

void replug(SimChip& chip) {
    chip.product = chip.flash.product;
    chip.gpSettings = chip.flash.gpSettings;
    for (std::size_t pin = 0; pin < mcp2221a::kGpPins; ++pin) {
        chip.gpioOutput[pin] = (chip.gpSettings[pin] & mcp2221a::kGpPowerUpHigh) != 0 ? 1 : 0;
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
