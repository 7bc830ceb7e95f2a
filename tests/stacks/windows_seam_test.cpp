// The Windows device seam, as the hardware library calls it, on one scenario
// through each Windows chip set: the stand-ins for setupapi.dll and hid.dll,
// and Wine's own HID stack with the chips as a HID minidriver. Both must
// give the library the same answers, or the stand-ins misread Windows.
//
// What the stand-ins still cannot show: replies to another process's
// reports (each process has stand-ins of its own), a device that goes away
// while it is open, and the HID class's own input buffer (32 reports per
// handle, the oldest dropped); Wine's stack carries those tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "console_run.h"
#include "open_device.h"
#include "scenario/scenario_store.h"
#include "seam/platform.h"
#include "temporary_file.h"
#include "test_platform.h"

namespace zorvex::test {
namespace {

const char* const kChips = R"({"devices": [
    {"vendorId": 1240, "productId": 221, "manufacturer": "Microchip Technology Inc.",
     "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]},
    {"vendorId": 1133, "productId": 50475, "manufacturer": "", "product": "USB Keyboard"},
    {"vendorId": 1240, "productId": 221, "manufacturer": "Maker", "productReadable": false,
     "responds": false}
]})";

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The interfaces of the scenario's devices, in the order the seam lists
// them (Wine's stack lists its own virtual mouse and keyboard too).
std::vector<DevicePath> scenarioInterfaces() {
    DeviceList list;
    platform::listHidInterfaces(list);
    std::vector<DevicePath> ours;
    for (const DevicePath& path : list) {
        if (lowered(path).find("#zorvexchip#") != std::string::npos) {
            ours.push_back(path);
        }
    }
    return ours;
}

std::u16string stringOf(const OpenDevice& device, platform::DeviceString which, bool& read) {
    platform::StringBuffer buffer{};
    read = platform::readDeviceString(device.handle(), which, buffer);
    const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
    return std::u16string(buffer.begin(), end);
}

class WindowsSeamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        file_ = std::make_unique<TemporaryFile>(kChips);
        setEnvironment("ZORVEX_SIM_DEVICES", file_->path());
        if (onWineHidStack()) {
            ASSERT_TRUE(wineHid({"plug", file_->path()}));
        }
    }
    std::unique_ptr<TemporaryFile> file_;
};

TEST_F(WindowsSeamTest, DevicesLookAsTheHidClassShowsThem) {
    const std::vector<DevicePath> paths = scenarioInterfaces();
    ASSERT_EQ(paths.size(), 3u);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        char expected[80];
        std::snprintf(expected, sizeof expected,
                      "\\\\?\\hid#zorvexchip#%04zu#{4d1e55b2-f16f-11cf-88cb-001111000030}", i);
        EXPECT_EQ(lowered(paths[i]), expected);
    }
    struct Expected {
        std::uint16_t vendorId, productId;
        std::u16string manufacturer, product;
        bool productReadable;
    };
    const Expected expected[] = {
        {0x04D8, 0x00DD, u"Microchip Technology Inc.", u"DELOQ-72N SWITCHER", true},
        {1133, 50475, u"", u"USB Keyboard", true},
        {0x04D8, 0x00DD, u"Maker", u"", false},
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE("device " + std::to_string(i));
        const OpenDevice device(paths[i]);
        ASSERT_TRUE(device.isOpen());
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        ASSERT_TRUE(platform::readDeviceIds(device.handle(), vendorId, productId));
        EXPECT_EQ(vendorId, expected[i].vendorId);
        EXPECT_EQ(productId, expected[i].productId);
        bool read = false;
        EXPECT_EQ(stringOf(device, platform::DeviceString::manufacturer, read),
                  expected[i].manufacturer);
        EXPECT_TRUE(read);
        EXPECT_EQ(stringOf(device, platform::DeviceString::product, read), expected[i].product);
        EXPECT_EQ(read, expected[i].productReadable);
    }
}

TEST_F(WindowsSeamTest, EveryOpenHandleGetsTheReplyAndASilentChipNone) {
    const std::vector<DevicePath> paths = scenarioInterfaces();
    ASSERT_EQ(paths.size(), 3u);
    HidReport on{};
    on[1] = 0x50;
    on[3] = 0x01;
    on[4] = 0x01;
    on[5] = 0x01;
    {
        const OpenDevice writer(paths[0]);
        const OpenDevice listener(paths[0]);
        ASSERT_TRUE(writer.isOpen() && listener.isOpen());
        ASSERT_TRUE(platform::writeReport(writer.handle(), on));
        for (const OpenDevice* handle : {&writer, &listener}) {
            HidReport reply{};
            std::uint32_t bytes = 0;
            ASSERT_TRUE(platform::readReport(handle->handle(), reply, 65, bytes, 1000));
            EXPECT_EQ(bytes, 65u);
            EXPECT_EQ(sim::toHex(reply).substr(0, 18), "005000010101000000");
        }
    }
    EXPECT_EQ(sim::loadScenario(file_->path()).value().devices.chips[0].gpioOutput[0], 1);

    const OpenDevice silent(paths[2]);
    ASSERT_TRUE(silent.isOpen());
    ASSERT_TRUE(platform::writeReport(silent.handle(), on));
    HidReport reply{};
    std::uint32_t bytes = 99;
    EXPECT_FALSE(platform::readReport(silent.handle(), reply, 65, bytes, 200));
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

// hidclass copies each report a chip sends to every handle open on it, so a
// program that holds a chip open sees the replies to another program's
// reports, as a daemon polling a unit sees the console's.
TEST_F(WindowsSeamTest, AnotherProgramsReplyReachesEveryHandle) {
    if (!onWineHidStack()) {
        GTEST_SKIP() << "each process has stand-ins of its own: only a real stack shows this";
    }
    const std::vector<DevicePath> paths = scenarioInterfaces();
    ASSERT_EQ(paths.size(), 3u);
    const OpenDevice listener(paths[0]);
    ASSERT_TRUE(listener.isOpen());
    const ConsoleRun console =
        runConsole(buildPath(environment("ZORVEX_CUI")), {"-on"}, file_->path());
    ASSERT_EQ(console.exitCode, 0);
    HidReport reply{};
    std::uint32_t bytes = 0;
    ASSERT_TRUE(platform::readReport(listener.handle(), reply, 65, bytes, 1000));
    EXPECT_EQ(bytes, 65u);
    EXPECT_EQ(sim::toHex(reply).substr(0, 18), "005000010101000000");
}

}  // namespace
}  // namespace zorvex::test
