#include "report_exchange.h"

#include <algorithm>
#include <chrono>

#include "command_reports.h"
#include "open_device.h"

namespace zorvex {

namespace {

constexpr std::uint8_t kStatusSuccess = 0x00;
// In a Set GPIO Output Values reply, a pin that is not general-purpose I/O
// has this in each of its four bytes: the chip refused the change. Only the
// two "alter" bytes tell: the value byte is an echo of what was sent, which
// may be 0xEE itself.
constexpr std::uint8_t kNotGpio = 0xEE;
constexpr std::size_t kGp0AlterOutput = 3;
constexpr std::size_t kGp0Value = 4;
constexpr std::size_t kGp0AlterDirection = 5;
constexpr std::size_t kGp0ReplyEnd = 7;

// Whether `reply` shows that it answers another program's command to the
// same chip (every open handle sees those too): another command, or for Set
// GPIO Output Values another GP0 value echoed (GP0's refusal echoes none).
// A reply too short to tell is taken as this exchange's own.
bool answersAnother(const HidReport& report, const HidReport& reply, std::uint32_t length) {
    if (length < 2) {
        return false;
    }
    if (reply[1] != report[1]) {
        return true;
    }
    return report[1] == kSetGpioOutputValues && length > kGp0Value &&
           reply[kGp0Value] != report[kGp0Value] && reply[kGp0AlterOutput] != kNotGpio;
}

bool isAcceptingReply(const HidReport& report, const HidReport& reply, std::uint32_t length) {
    const std::uint8_t command = report[1];
    const bool checksGp0 = command == kSetGpioOutputValues;
    if (length < (checksGp0 ? kGp0ReplyEnd : 3)) {
        return false;
    }
    if (reply[1] != command || reply[2] != kStatusSuccess) {
        return false;
    }
    return !checksGp0 ||
           (reply[kGp0AlterOutput] != kNotGpio && reply[kGp0AlterDirection] != kNotGpio);
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
