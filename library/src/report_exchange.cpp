#include "report_exchange.h"

#include <algorithm>
#include <chrono>

#include "mcp2221a/protocol.h"
#include "open_device.h"

namespace zorvex {

namespace {

using namespace mcp2221a;

// A Set GPIO Output Values reply long enough to show GP0's four bytes.
constexpr std::size_t kGp0ReplyEnd = set_gpio::kGp0Direction + 1;

// Whether `reply` shows that it answers another program's command to the
// same chip (every open handle sees those too): another command, or for Set
// GPIO Output Values another GP0 value echoed (GP0's refusal echoes none).
// A reply too short to tell is taken as this exchange's own.
bool answersAnother(const HidReport& report, const HidReport& reply, std::uint32_t length) {
    if (length <= kCommandCode) {
        return false;
    }
    if (reply[kCommandCode] != report[kCommandCode]) {
        return true;
    }
    return report[kCommandCode] == kSetGpioOutputValues && length > set_gpio::kGp0Output &&
           reply[set_gpio::kGp0Output] != report[set_gpio::kGp0Output] &&
           reply[set_gpio::kGp0AlterOutput] != kNotGpio;
}

// In a Set GPIO Output Values reply, a pin that is not general-purpose I/O
// has kNotGpio in each of its four bytes: the chip refused the change. Only
// the two "alter" bytes tell: the value byte is an echo of what was sent,
// which may be kNotGpio itself.
bool isAcceptingReply(const HidReport& report, const HidReport& reply, std::uint32_t length) {
    const std::uint8_t command = report[kCommandCode];
    const bool checksGp0 = command == kSetGpioOutputValues;
    if (length < (checksGp0 ? kGp0ReplyEnd : kStatus + 1)) {
        return false;
    }
    if (reply[kCommandCode] != command || reply[kStatus] != kStatusOk) {
        return false;
    }
    return !checksGp0 || (reply[set_gpio::kGp0AlterOutput] != kNotGpio &&
                          reply[set_gpio::kGp0AlterDirection] != kNotGpio);
}

}  // namespace

bool transferReport(const DevicePath& path, const HidReport* report, HidReport* reply,
                    std::uint32_t& replyLength) {
    const std::uint32_t wanted = std::min<std::uint32_t>(replyLength, kHidReportSize);
    replyLength = 0;
    if (report == nullptr || reply == nullptr) {
        return false;
    }
    OpenDevice device(path);
    if (!device.isOpen()) {
        return false;
    }
    // A report that did not go out whole gets no reply worth waiting for.
    if (!platform::writeReport(device.handle(), *report)) {
        return false;
    }
    // Replies to other programs' commands are passed over, all within the
    // one bound.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !platform::readReport(device.handle(), *reply, wanted, replyLength,
                                                       static_cast<std::uint32_t>(left.count()))) {
            replyLength = 0;
            return false;
        }
        if (!answersAnother(*report, *reply, replyLength)) {
            return isAcceptingReply(*report, *reply, replyLength);
        }
    }
}

}  // namespace zorvex
