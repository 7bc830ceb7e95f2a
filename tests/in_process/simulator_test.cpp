// The emulator and its scenario file are what every other test trusts, so
// their own behaviour is pinned down here.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "command_reports.h"
#include "scenario/file_stamp.h"
#include "scenario/scenario_delivery.h"
#include "scenario/scenario_store.h"
#include "temporary_file.h"

namespace zorvex::test {
namespace {

using nlohmann::json;

TEST(Emulator, ReplugBringsTheFlashToLifeWithPowerUpOutputs) {
    sim::SimChip chip = sim::makeMcp2221a();
    chip.flash.product = u"new";
    chip.flash.gpSettings = {0x10, 0x00, 0x11, 0x08};
    chip.gpioOutput = {0, 1, 0, 0};
    sim::replug(chip);
    EXPECT_EQ(chip.product, u"new");
    EXPECT_EQ(chip.gpSettings, (sim::PinBytes{0x10, 0x00, 0x11, 0x08}));
    EXPECT_EQ(chip.gpioOutput, (sim::PinBytes{1, 0, 1, 0}));
}

TEST(Emulator, AnswersReadsFromTheStateWritesLeft) {
    sim::SimChip chip = sim::makeMcp2221a();
    HidReport report{};
    buildProductStringReport(report);
    ASSERT_TRUE(sim::receiveReport(chip, report));
    buildGpSettingsReport(report);
    ASSERT_TRUE(sim::receiveReport(chip, report));

    report.fill(0);
    report[1] = 0xB0;
    report[2] = 0x03;
    auto reply = sim::receiveReport(chip, report);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[1], 0xB0);
    EXPECT_EQ((*reply)[2], 0x00);
    EXPECT_EQ((*reply)[3], 2 + 2 * 18);
    EXPECT_EQ((*reply)[5], 'D');

    report[2] = 0x01;
    reply = sim::receiveReport(chip, report);
    EXPECT_EQ((*reply)[7], 0x11);
    report[2] = 0x07;
    reply = sim::receiveReport(chip, report);
    EXPECT_EQ((*reply)[2], 0x01);  // unknown sub-command

    // From the factory no pin is general-purpose I/O: every pin refuses.
    report.fill(0);
    report[1] = 0x51;
    reply = sim::receiveReport(chip, report);
    EXPECT_EQ(sim::toHex(*reply).substr(2, 20),
              "51"
              "00"
              "eeef"
              "eeef"
              "eeef"
              "eeef");

    // GP2 is not general-purpose I/O once replugged: its values read 0xEE.
    sim::replug(chip);
    buildGp0OutputReport(report, 1);
    reply = sim::receiveReport(chip, report);
    EXPECT_EQ((*reply)[4], 1);
    EXPECT_EQ((*reply)[11], 0xEE);
    report.fill(0);
    report[1] = 0x51;
    reply = sim::receiveReport(chip, report);
    EXPECT_EQ((*reply)[3], 1);     // GP0 high
    EXPECT_EQ((*reply)[7], 0xEE);  // GP2 value
    EXPECT_EQ((*reply)[8], 0xEF);  // GP2 direction
    EXPECT_EQ(chip.received.size(), 8u);
}

// What Linux's hid_mcp2221 driver sends a chip, as it sends it: reports of
// 1 to 18 bytes, the rest of the 64 zero. Each reply is written out from the
// data sheet's tables, first bytes only (the rest is zero).
TEST(Emulator, AnswersWhatTheKernelsDriverAsks) {
    sim::SimChip chip = sim::makeMcp2221a();
    chip.gpSettings = {0x00, 0x12, 0x11, 0x08};  // GP0 a low output, GP3 an input
    const auto ask = [&](const std::string& command) {
        HidReport report{};
        for (std::size_t i = 0; 2 * i < command.size(); ++i) {
            report[1 + i] =
                static_cast<std::uint8_t>(std::stoul(command.substr(2 * i, 2), nullptr, 16));
        }
        const std::optional<HidReport> reply = sim::receiveReport(chip, report);
        return reply ? sim::toHex(*reply).substr(2, 2 * 26) : std::string("silent");
    };
    const std::string zeros(52, '0');
    const auto reply = [&](const std::string& start) { return start + zeros.substr(start.size()); };
    // Status/Set Parameters: a new I2C speed (divider 0x1a), then a cancel.
    EXPECT_EQ(ask("100000201a"), reply("1000"
                                       "00"
                                       "20"
                                       "1a"));
    EXPECT_EQ(ask("10001000"), reply("1000"
                                     "11"
                                     "00"
                                     "00"));
    // Get SRAM Settings: the IDs, low byte first, and the live GP settings.
    EXPECT_EQ(ask("61"), reply("6100"
                               "000000000000"
                               "d804"
                               "dd00" +
                               std::string(20, '0') + "00121108"));
    // GP0 high, as gpio_set does it; GP3 made an output, as direction_output does.
    EXPECT_EQ(ask("5000"
                  "0101"),
              reply("5000"
                    "0101"
                    "0000"
                    "eeeeeeee"
                    "eeeeeeee"
                    "00000000"));
    EXPECT_EQ(chip.gpioOutput[0], 1);
    EXPECT_EQ(ask("5000"
                  "00000000"
                  "00000000"
                  "00000000"
                  "000001"
                  "00"),
              reply("5000"
                    "00000000"
                    "eeeeeeee"
                    "eeeeeeee"
                    "00000100"));
    EXPECT_EQ(ask("51"), reply("5100"
                               "0100"
                               "eeef"
                               "eeef"
                               "0000"));
    // A command the chip does not have.
    EXPECT_EQ(ask("20"), reply("2002"));
    EXPECT_EQ(chip.received.size(), 7u);
}

TEST(ScenarioFile, FillsDefaultsAndKeepsUnknownFieldsOnWriteBack) {
    TemporaryFile file(R"({"devices": [
        {"vendorId": 1240, "productId": 221, "product": "\u65e5\u672c", "gpSettings": [0, 0, 1, 0],
         "note": "kept"},
        {"vendorId": 1133, "productId": 50460, "openable": false}
    ], "comment": "also kept"})");
    auto scenario = sim::loadScenario(file.path());
    ASSERT_TRUE(scenario);
    ASSERT_EQ(scenario->devices.chips.size(), 2u);
    const sim::SimChip& chip = scenario->devices.chips[0];
    EXPECT_EQ(chip.product, u"\u65E5\u672C");
    EXPECT_EQ(chip.manufacturer, u"");
    EXPECT_TRUE(chip.responds);
    EXPECT_FALSE(chip.flashLocked);
    EXPECT_EQ(chip.flash.product, chip.product);
    EXPECT_EQ(chip.flash.gpSettings, (sim::PinBytes{0, 0, 1, 0}));
    EXPECT_EQ(scenario->devices.chips[1].gpSettings, sim::kFactoryGpSettings);
    EXPECT_FALSE(scenario->devices.chips[1].openable);

    scenario->devices.chips[0].received.push_back("00");
    ASSERT_TRUE(sim::saveScenario(file.path(), *scenario));
    const json saved = json::parse(file.contents());
    EXPECT_EQ(saved["comment"], "also kept");
    EXPECT_EQ(saved["devices"][0]["note"], "kept");
    EXPECT_EQ(saved["devices"][0]["received"], json::array({"00"}));
    EXPECT_EQ(saved["devices"][0]["product"], "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(saved["devices"][1]["openable"], false);
}

TEST(ScenarioFile, MissingOrMalformedFilesHoldNoDevices) {
    EXPECT_FALSE(sim::loadScenario("/nonexistent/zorvex-scenario.json"));
    TemporaryFile notJson("{ devices: ");
    EXPECT_FALSE(sim::loadScenario(notJson.path()));
    TemporaryFile noIds(R"({"devices": [{"product": "x"}]})");
    EXPECT_FALSE(sim::loadScenario(noIds.path()));
}

// A process that keeps the file cached (the daemon, the stand-ins) has its
// chips work on that copy: it must stay what the file holds, also when the
// file refuses a write, and a chip polled for ever keeps a bounded log.
TEST(ScenarioFile, DeliveriesKeepTheCachedCopyTheFilesOwnAndTheLogBounded) {
    namespace fs = std::filesystem;
    TemporaryFile file(R"({"devices": [{"vendorId": 1240, "productId": 221,
        "gpSettings": [0, 0, 0, 0]}, {"vendorId": 1240, "productId": 221, "note": "kept"}]})");
    sim::CachedScenario cache;
    HidReport on{};
    buildGp0OutputReport(on, 1);
    ASSERT_TRUE(sim::deliverReport(file.path(), 0, on, &cache).reply);
    const json second = json::parse(file.contents())["devices"][1];
    EXPECT_EQ(second, json::parse(R"({"vendorId": 1240, "productId": 221, "note": "kept"})"));
    EXPECT_EQ(cache.stamp, sim::stampOf(file.path()));

    fs::permissions(file.path(), fs::perms::owner_write, fs::perm_options::remove);
    HidReport off{};
    buildGp0OutputReport(off, 0);
    const sim::Delivery refused = sim::deliverReport(file.path(), 0, off, &cache);
    EXPECT_TRUE(refused.delivered);
    EXPECT_FALSE(refused.reply);
    ASSERT_TRUE(cache.scenario);
    EXPECT_EQ(cache.scenario->devices.chips[0].gpioOutput[0], 1);
    EXPECT_EQ(cache.scenario->devices.chips[0].received.size(), 1u);

    fs::permissions(file.path(), fs::perms::owner_write, fs::perm_options::add);
    for (std::size_t i = 0; i < sim::kReceivedKept; ++i) {
        ASSERT_TRUE(sim::deliverReport(file.path(), 0, i % 2 == 0 ? on : off, &cache).reply);
    }
    const std::vector<std::string> received =
        sim::loadScenario(file.path())->devices.chips[0].received;
    EXPECT_EQ(received.size(), sim::kReceivedKept);
    EXPECT_EQ(received.back(), sim::toHex(off));
    EXPECT_EQ(received, cache.scenario->devices.chips[0].received);
}

}  // namespace
}  // namespace zorvex::test
