#include "report_exchange.h"

#include <algorithm>

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
constexpr std::size_t kGp0AlterDirection = 5;
constexpr std::size_t kGp0ReplyEnd = 7;

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
    if (!platform::readReport(device.handle(), *reply, wanted, replyLength, kReplyTimeoutMs)) {
        replyLength = 0;
        return false;
    }
    return isAcceptingReply(*report, *reply, replyLength);
}

}  // namespace zorvex
