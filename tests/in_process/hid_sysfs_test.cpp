// The Linux seam's sysfs lookups, against a sysfs tree laid out as the
// kernel lays out a USB HID device: class/hidraw/hidrawN/device links to the
// HID device, whose parent is the USB interface and grandparent the USB
// device with its strings; a chip that hid_mcp2221 holds has a gpiochip
// under its HID device instead, linked from the gpio bus and the driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "seam/linux/driver_held_chips.h"
#include "seam/linux/hid_sysfs.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;
using platform::DeviceString;

class HidSysfsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() / ("zorvex-sysfs-" + std::to_string(std::random_device{}()));
        usb_ = root_ / "devices/pci0000:00/usb1/1-1";
        const fs::path hid = usb_ / "1-1:1.2/0003:04D8:00DD.0004";
        fs::create_directories(hid);
        fs::create_directories(root_ / "class/hidraw/hidraw3");
        fs::create_directory_symlink(hid, root_ / "class/hidraw/hidraw3/device");
        write(hid / "uevent", "DRIVER=hid-generic\nHID_ID=0003:000004D8:000000DD\nHID_NAME=x\n");
        write(usb_ / "manufacturer", "Microchip Technology Inc.\n");
        write(usb_ / "product",
              "\xe3\x82\xb9\xe3\x82\xa4\xe3\x83\x83\xe3\x83\x81 \xf0\x9f\x98\x80\xff\n");
    }
    void TearDown() override { fs::remove_all(root_); }
    static void write(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    // A chip at USB port `port` that hid_mcp2221 holds, with gpiochip<chip>.
    void addHeldChip(const std::string& port, const std::string& hidName, int chip) {
        fs::path usb = root_ / "devices/pci0000:00/usb1";
        for (std::size_t dot = port.find('.'); dot != std::string::npos;
             dot = port.find('.', dot + 1)) {
            usb /= port.substr(0, dot);
        }
        usb /= port;
        const fs::path hid = usb / (port + ":1.2") / hidName;
        const std::string gpiochip = "gpiochip" + std::to_string(chip);
        fs::create_directories(hid / gpiochip);
        fs::create_directories(root_ / "bus/gpio/devices");
        fs::create_directories(root_ / "bus/hid/drivers/mcp2221");
        fs::create_directory_symlink(hid / gpiochip, root_ / "bus/gpio/devices" / gpiochip);
        fs::create_directory_symlink(hid, root_ / "bus/hid/drivers/mcp2221" / hidName);
        write(hid / "uevent", "DRIVER=mcp2221\nHID_ID=0003:000004D8:000000DD\n");
        write(usb / "product", "held at " + port + "\n");
    }
    std::u16string string(const std::string& node, DeviceString which, bool& found) const {
        platform::StringBuffer buffer{};
        found = platform::readHidString(root_.string(), node, which, buffer);
        return std::u16string(buffer.data());
    }

    fs::path root_;
    fs::path usb_;
};

TEST_F(HidSysfsTest, ReadsIdsAndStringsOfAHidrawNode) {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    ASSERT_TRUE(platform::readHidIds(root_.string(), "/dev/hidraw3", vendorId, productId));
    EXPECT_EQ(vendorId, 0x04D8);
    EXPECT_EQ(productId, 0x00DD);

    bool found = false;
    EXPECT_EQ(string("/dev/hidraw3", DeviceString::manufacturer, found),
              u"Microchip Technology Inc.");
    EXPECT_TRUE(found);
    // UTF-8 in sysfs, UTF-16 here; a stray byte becomes U+FFFD.
    EXPECT_EQ(string("/dev/hidraw3", DeviceString::product, found),
              u"\u30B9\u30A4\u30C3\u30C1 \U0001F600\uFFFD");
    EXPECT_TRUE(found);
}

TEST_F(HidSysfsTest, AnythingElseHasNoAnswer) {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    for (const char* node :
         {"/dev/hidraw4", "/dev/hidraw", "/dev/hidraw3x", "/dev/usb/hiddev0", "1-1:1.2"}) {
        EXPECT_FALSE(platform::readHidIds(root_.string(), node, vendorId, productId)) << node;
    }
    fs::remove(usb_ / "product");
    bool found = true;
    string("/dev/hidraw3", DeviceString::product, found);
    EXPECT_FALSE(found);
    write(root_ / "class/hidraw/hidraw3/device/uevent", "HID_NAME=x\nHID_ID=0003:04D8\n");
    EXPECT_FALSE(platform::readHidIds(root_.string(), "/dev/hidraw3", vendorId, productId));

    // Whether there is anything for hidapi to list at all.
    EXPECT_TRUE(platform::hasHidrawNodes(root_.string()));
    fs::remove_all(root_ / "class/hidraw/hidraw3");
    EXPECT_FALSE(platform::hasHidrawNodes(root_.string()));
    EXPECT_FALSE(platform::hasHidrawNodes((root_ / "none").string()));
}

// Chips the driver holds are numbered by where they are plugged in, among
// the hidraw nodes as hidapi lists them (by sysfs path: a hub's ports sort
// before its own interfaces), and answer for their IDs, strings and port.
TEST_F(HidSysfsTest, ChipsTheDriverHoldsTakeTheirPlaceByPort) {
    addHeldChip("1-3", "0003:04D8:00DD.0005", 2);
    addHeldChip("1-1.4", "0003:04D8:00DD.0006", 7);
    write(root_ / "bus/hid/drivers/mcp2221/new_id", "");
    DeviceList list{"/dev/hidraw3"};
    platform::addDriverHeldChips(root_.string(), list);
    EXPECT_EQ(list, (DeviceList{"/dev/gpiochip7", "/dev/hidraw3", "/dev/gpiochip2"}));

    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    EXPECT_TRUE(platform::readHidIds(root_.string(), "/dev/gpiochip2", vendorId, productId));
    EXPECT_EQ(vendorId, 0x04D8);
    bool found = false;
    EXPECT_EQ(string("/dev/gpiochip7", DeviceString::product, found), u"held at 1-1.4");
    std::string port;
    EXPECT_TRUE(platform::readHidPort(root_.string(), "/dev/gpiochip2", port));
    EXPECT_EQ(port, "1-3");
    EXPECT_FALSE(platform::readHidIds(root_.string(), "/dev/gpiochip9", vendorId, productId));
}

}  // namespace
}  // namespace zorvex::test
