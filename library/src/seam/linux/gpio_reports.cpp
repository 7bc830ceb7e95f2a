#include "seam/linux/gpio_reports.h"

#include "mcp2221a/protocol.h"

namespace zorvex::platform {

using namespace mcp2221a;

namespace {

bool othersLeftAlone(const HidReport& report) {
    for (std::size_t pin = 1; pin < kGpPins; ++pin) {
        const std::size_t at = set_gpio::pinAt(pin);
        if (report[at + set_gpio::kAlterOutput] != 0 ||
            report[at + set_gpio::kAlterDirection] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

LineAsk lineAskOf(const HidReport& report) {
    using namespace set_gpio;
    if (report[kCommandCode] == kGetGpioValues) {
        return LineAsk::read;
    }
    // A line driven becomes an output: only a report that asks for that
    // too can be carried out as it says.
    if (report[kCommandCode] != kSetGpioOutputValues || report[kGp0AlterOutput] == 0 ||
        report[kGp0AlterDirection] == 0 || report[kGp0Direction] != kDirectionOutput ||
        !othersLeftAlone(report)) {
        return LineAsk::unsupported;
    }
    // The chip takes any value but 0 as high.
    return report[kGp0Output] != 0 ? LineAsk::driveHigh : LineAsk::driveLow;
}

std::optional<HidReport> replyThroughLine(const HidReport& report, LineState state) {
    const LineAsk ask = lineAskOf(report);
    if (state == LineState::noAnswer || ask == LineAsk::unsupported) {
        return std::nullopt;
    }
    HidReport reply{};
    reply[kCommandCode] = report[kCommandCode];
    reply[kStatus] = kStatusOk;
    if (ask == LineAsk::read) {
        for (std::size_t pin = 0; pin < kGpPins; ++pin) {
            reply[get_gpio_reply::valueAt(pin)] = kNotGpio;
            reply[get_gpio_reply::directionAt(pin)] = kNotGpioDirection;
        }
        if (state != LineState::notGpio) {
            reply[get_gpio_reply::kGp0Value] = state == LineState::high ? 1 : 0;
            reply[get_gpio_reply::directionAt(0)] = set_gpio::kDirectionOutput;
        }
        return reply;
    }
    const std::size_t gp0 = set_gpio::pinAt(0);
    if (state == LineState::notGpio) {
        for (std::size_t i = 0; i < set_gpio::kPinBytes; ++i) {
            reply[gp0 + i] = kNotGpio;
        }
        return reply;
    }
    if ((state == LineState::high) != (ask == LineAsk::driveHigh)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < set_gpio::kPinBytes; ++i) {
        reply[gp0 + i] = report[gp0 + i];
    }
    return reply;
}

}  // namespace zorvex::platform
