// What the reports zorvex sends become for a chip Linux's hid_mcp2221
// holds, and the replies that come back: the chip's own answers, written
// out here from the data sheet's tables apart from the code.
#include "seam/linux/gpio_reports.h"

#include <gtest/gtest.h>

#include <string>

#include "expected_reports.h"

namespace zorvex::platform {
namespace {

HidReport fromHex(const std::string& hex) {
    HidReport report{};
    for (std::size_t i = 0; 2 * i < hex.size() && i < report.size(); ++i) {
        report[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return report;
}

std::string replyHex(const std::string& report, LineState state) {
    const std::optional<HidReport> reply = replyThroughLine(fromHex(report), state);
    if (!reply) {
        return "none";
    }
    std::string hex;
    for (std::size_t i = 0; i < 12; ++i) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[(*reply)[i] >> 4];
        hex += digits[(*reply)[i] & 15];
    }
    return hex;
}

TEST(GpioReports, OnlyWhatTheDriverCanCarryOutIsAsked) {
    const struct {
        std::string report;
        LineAsk ask;
    } cases[] = {
        {test::kSetGp0OnReport, LineAsk::driveHigh},
        {test::kSetGp0OffReport, LineAsk::driveLow},
        {"0050000107010000", LineAsk::driveHigh},  // any value but 0 is high
        {"0051", LineAsk::read},
        {"0050000101000000", LineAsk::unsupported},  // GP0's direction left alone
        {"0050000101010100", LineAsk::unsupported},  // GP0 made an input
        {"0050000101010001", LineAsk::unsupported},  // GP1 altered too
        {test::kWriteProductStringReport, LineAsk::unsupported},
        {"0010000020", LineAsk::unsupported},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineAskOf(fromHex(c.report)), c.ask) << c.report;
    }
}

TEST(GpioReports, RepliesAreTheChipsForWhatTheLineReadBack) {
    // A drive read back as asked is echoed; GP0 that is not general-purpose
    // I/O refuses in its four bytes; a drive that read back otherwise, or a
    // chip that did not answer, has no reply.
    EXPECT_EQ(replyHex(test::kSetGp0OnReport, LineState::high), "005000010101000000000000");
    EXPECT_EQ(replyHex(test::kSetGp0OffReport, LineState::low), "005000010001000000000000");
    EXPECT_EQ(replyHex(test::kSetGp0OnReport, LineState::notGpio), "005000eeeeeeee0000000000");
    EXPECT_EQ(replyHex(test::kSetGp0OnReport, LineState::low), "none");
    EXPECT_EQ(replyHex(test::kSetGp0OffReport, LineState::noAnswer), "none");
    // A read gives GP0's value and direction (an output); the other pins
    // are not read, and say that they are not general-purpose I/O.
    EXPECT_EQ(replyHex("0051", LineState::high), "0051000100eeefeeefeeef00");
    EXPECT_EQ(replyHex("0051", LineState::notGpio), "005100eeefeeefeeefeeef00");
    EXPECT_EQ(replyHex(test::kWriteProductStringReport, LineState::high), "none");
}

}  // namespace
}  // namespace zorvex::platform
