#include "command_reports.h"
#include "device_set_fixture.h"
#include "expected_reports.h"
#include "report_exchange.h"
#include "seams/in_memory_devices.h"
#include "seams/simulated_devices.h"

namespace zorvex::test {
namespace {

class CommandReportsTest : public DeviceSetTest {};

TEST_F(CommandReportsTest, SetUpThenReplugThenSwitchOnAndOff) {
    devices.chips = {plainChip()};
    ASSERT_TRUE(setMcp2221aForZorvex(0));
    EXPECT_EQ(chip(0).received,
              (std::vector<std::string>{kWriteProductStringReport, kWriteGpSettingsReport}));
    EXPECT_EQ(chip(0).flash.product, u"DELOQ-72N SWITCHER");
    EXPECT_EQ(chip(0).flash.gpSettings, (sim::PinBytes{0, 0, 0x11, 0}));

    // The flash takes effect only at the next power-up.
    EXPECT_EQ(getZorvexNum(), 0u);
    EXPECT_FALSE(switchZorvex(0, 1));
    sim::replug(chip(0));
    EXPECT_EQ(getZorvexNum(), 1u);

    ASSERT_TRUE(switchZorvex(0, 1));
    EXPECT_EQ(chip(0).received.back(), kSetGp0OnReport);
    EXPECT_EQ(chip(0).gpioOutput[0], 1);
    ASSERT_TRUE(switchZorvex(0, 0));
    EXPECT_EQ(chip(0).received.back(), kSetGp0OffReport);
    EXPECT_EQ(chip(0).gpioOutput[0], 0);

    // Only the low byte of the state goes out. The chip echoes it, so a
    // value byte of 0xEE is no refusal.
    ASSERT_TRUE(switchZorvex(0, 0x0301));
    EXPECT_EQ(chip(0).received.back(), kSetGp0OnReport);
    ASSERT_TRUE(switchZorvex(0, 0xEE));
    EXPECT_EQ(chip(0).gpioOutput[0], 1);
    EXPECT_EQ(chip(0).received.size(), 6u);
}

TEST_F(CommandReportsTest, RefusedOrUnansweredCommandsAreFailures) {
    sim::SimChip silent = zorvexUnit();
    silent.responds = false;
    sim::SimChip locked = zorvexUnit();
    locked.flashLocked = true;
    sim::SimChip gp0NotGpio = zorvexUnit();
    gp0NotGpio.gpSettings[0] = 0x01;
    // Renamed, but still running with the factory's pin settings.
    const sim::SimChip factoryPins = sim::makeMcp2221a(u"Maker", u"DELOQ-72N SWITCHER");
    devices.chips = {silent, locked, gp0NotGpio, factoryPins};

    // The settings still go out after the product string failed.
    EXPECT_FALSE(setMcp2221aForZorvex(0));
    EXPECT_EQ(chip(0).received.size(), 2u);
    EXPECT_FALSE(switchZorvex(0, 1));

    EXPECT_FALSE(setMcp2221aForZorvex(1));
    EXPECT_EQ(chip(1).received,
              (std::vector<std::string>{kWriteProductStringReport, kWriteGpSettingsReport}));
    EXPECT_EQ(chip(1).flash.gpSettings, (sim::PinBytes{0, 0, 0x11, 0}));

    for (const std::size_t refusing : {2, 3}) {
        EXPECT_FALSE(switchZorvex(static_cast<std::uint32_t>(refusing), 1));
        EXPECT_EQ(chip(refusing).received, std::vector<std::string>{kSetGp0OnReport});
        EXPECT_EQ(chip(refusing).gpioOutput[0], 0);
    }
}

TEST_F(CommandReportsTest, TransferReportChecksItsArgumentsAndTheReply) {
    devices.chips = {zorvexUnit(), keyboard()};
    HidReport report{};
    HidReport reply{};
    buildGp0OutputReport(report, 1);

    std::uint32_t length = kHidReportSize;
    EXPECT_FALSE(transferReport(sim::simPath(0), nullptr, &reply, length));
    EXPECT_FALSE(transferReport(sim::simPath(0), &report, nullptr, length));
    EXPECT_FALSE(transferReport("gone", &report, &reply, length));
    EXPECT_TRUE(chip(0).received.empty());
    EXPECT_EQ(length, 0u);

    length = kHidReportSize;
    EXPECT_TRUE(transferReport(sim::simPath(0), &report, &reply, length));
    EXPECT_EQ(length, kHidReportSize);
    EXPECT_EQ(reply[1], 0x50);

    // A command the chip does not support is answered with status 0x02.
    report[1] = 0x99;
    length = kHidReportSize;
    EXPECT_FALSE(transferReport(sim::simPath(0), &report, &reply, length));
    EXPECT_EQ(length, kHidReportSize);

    // A device that is not a chip never answers.
    length = kHidReportSize;
    EXPECT_FALSE(transferReport(sim::simPath(1), &report, &reply, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(chip(1).received.size(), 1u);

    // A reply too short to hold the status cannot confirm anything.
    buildGp0OutputReport(report, 1);
    length = 2;
    EXPECT_FALSE(transferReport(sim::simPath(0), &report, &reply, length));
    EXPECT_EQ(length, 2u);
}

// Another program polling or switching the same chip: its replies reach the
// library's handle too, ahead of the library's own, and are read past.
TEST_F(CommandReportsTest, RepliesToAnotherProgramsCommandsArePassedOver) {
    devices.chips = {zorvexUnit(), zorvexUnit()};
    devices.chips[1].gpSettings = sim::kFactoryGpSettings;  // GP0 is no GPIO
    HidReport poll{};
    poll[1] = 0x51;  // Get GPIO Values
    HidReport otherOff{};
    buildGp0OutputReport(otherOff, 0);

    sim::interject(0, poll);
    sim::interject(0, otherOff);
    EXPECT_TRUE(switchZorvex(0, 1));
    EXPECT_EQ(chip(0).received,
              (std::vector<std::string>{sim::toHex(poll), kSetGp0OffReport, kSetGp0OnReport}));
    EXPECT_EQ(chip(0).gpioOutput[0], 1);

    // The chip's refusal is the library's own answer, whatever else came first.
    sim::interject(1, poll);
    EXPECT_FALSE(switchZorvex(1, 1));
    EXPECT_EQ(chip(1).received.back(), kSetGp0OnReport);

    for (int i = 0; i < 5; ++i) {
        sim::interject(0, poll);
    }
    EXPECT_TRUE(setMcp2221aForZorvex(0));
    EXPECT_EQ(chip(0).received.back(), kWriteGpSettingsReport);
}

TEST(CommandReports, GpSettingsReportRewritesOnlyTheCommandBytes) {
    HidReport report{};
    report.fill(0xAA);
    buildGpSettingsReport(report);
    EXPECT_EQ(sim::toHex(report), "aab10100001100" + std::string(2 * (kHidReportSize - 7), 'a'));
}

}  // namespace
}  // namespace zorvex::test
