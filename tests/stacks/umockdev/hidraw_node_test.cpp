// The testbed that zorvex_umockdev makes, seen from inside it (the test
// runs under umockdev's preload, on node_scenario.json): sysfs as hidapi
// and libudev read it, and hidraw nodes as the kernel's driver answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <hidapi.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "expected_reports.h"

namespace zorvex::test {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : "(missing)";
}

bool readable(int fd, int timeoutMs = 0) {
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, timeoutMs) == 1 && (watched.revents & POLLIN) != 0;
}

// Opens a node as hidapi does: the descriptor size asked for at once. The
// testbed counts an open from its first request.
int openNode(const char* path) {
    const int fd = open(path, O_RDWR);
    int size = 0;
    if (fd >= 0 && ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Report C with GP0 on, as the library writes it: report ID 0 first.
std::vector<unsigned char> reportCOn() {
    std::vector<unsigned char> report(65);
    for (std::size_t i = 0; i < report.size(); ++i) {
        report[i] = static_cast<unsigned char>(
            std::stoi(std::string(kSetGp0OnReport).substr(2 * i, 2), nullptr, 16));
    }
    return report;
}

TEST(UmockdevTestbed, SysfsIsShapedAsTheKernelShowsIt) {
    const std::string hid = "/sys/class/hidraw/hidraw0/device";
    EXPECT_EQ(contents(hid + "/uevent"),
              "DRIVER=hid-generic\nHID_ID=0003:000004D8:000000DD\n"
              "HID_NAME=Maker DELOQ-72N SWITCHER\nHID_PHYS=usb-0000:00:14.0-1/input2\n"
              "HID_UNIQ=\nMODALIAS=hid:b0003g0001v000004D8p000000DD\n");
    EXPECT_EQ(contents(hid + "/../../product"), "DELOQ-72N SWITCHER\n");
    EXPECT_EQ(contents(hid + "/../bInterfaceNumber"), "02\n");
    // A string the chip cannot give has no attribute, and leaves the name.
    EXPECT_EQ(contents("/sys/class/hidraw/hidraw1/device/../../product"), "(missing)");
    EXPECT_NE(contents("/sys/class/hidraw/hidraw1/device/uevent").find("HID_NAME=Maker\n"),
              std::string::npos);
    EXPECT_EQ(contents("/sys/class/hidraw/hidraw2/device/uevent").find("HID_ID="),
              std::string::npos);
    // A device on the port its entry names; one not plugged in is not there.
    EXPECT_NE(contents("/sys/bus/usb/devices/3-2/../3-2/3-2:1.2/0003:04D8:00DD.0005/uevent")
                  .find("HID_PHYS=usb-0000:00:14.0-2/input2\n"),
              std::string::npos);
    EXPECT_EQ(contents("/sys/class/hidraw/hidraw5/dev"), "(missing)");

    // Debian's hidapi, through libudev: the device without an ID is left
    // out, the rest come in port order, each with its USB details.
    hid_device_info* found = hid_enumerate(0x04D8, 0x00DD);
    std::vector<std::string> paths;
    for (const hid_device_info* d = found; d != nullptr; d = d->next) {
        paths.push_back(d->path);
        EXPECT_EQ(d->interface_number, 2);
        EXPECT_EQ(d->release_number, 0x0100);
    }
    ASSERT_EQ(paths, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw3",
                                               "/dev/hidraw4"}));
    EXPECT_STREQ(found->product_string, L"DELOQ-72N SWITCHER");
    hid_free_enumeration(found);
    EXPECT_LT(open("/dev/hidraw3", O_RDWR), 0);
}

TEST(UmockdevTestbed, IoctlsAnswerAsHidrawDoes) {
    const int fd = open("/dev/hidraw0", O_RDWR);
    ASSERT_GE(fd, 0);
    int size = 0;
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESCSIZE, &size), 0);
    EXPECT_EQ(size, 29);
    hidraw_report_descriptor descriptor{};
    descriptor.size = 4;
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESC, &descriptor), 0);
    EXPECT_EQ(std::vector<int>(descriptor.value, descriptor.value + 5),
              (std::vector<int>{0x06, 0x00, 0xFF, 0x09, 0}));
    descriptor.size = HID_MAX_DESCRIPTOR_SIZE;
    EXPECT_EQ(ioctl(fd, HIDIOCGRDESC, &descriptor), -1);
    EXPECT_EQ(errno, EINVAL);

    hidraw_devinfo info{};
    ASSERT_EQ(ioctl(fd, HIDIOCGRAWINFO, &info), 0);
    EXPECT_EQ(info.bustype, 3u);
    EXPECT_EQ(static_cast<unsigned short>(info.vendor), 0x04D8);
    EXPECT_EQ(static_cast<unsigned short>(info.product), 0x00DD);
    char name[64] = {};
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(sizeof name), name), 25);
    EXPECT_STREQ(name, "Maker DELOQ-72N SWITCHER");
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(5), name), 5);  // cut, and not terminated
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWPHYS(sizeof name), name), 26);
    EXPECT_STREQ(name, "usb-0000:00:14.0-1/input2");
    EXPECT_EQ(ioctl(fd, _IOR('H', 0x30, int), &size), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(ioctl(fd, _IOR('Q', 0x01, int), &size), -1);
    EXPECT_EQ(errno, EINVAL);
    close(fd);
}

TEST(UmockdevTestbed, EveryOpenGetsEachReplyOneReportPerRead) {
    const int first = openNode("/dev/hidraw0");
    const int second = openNode("/dev/hidraw0");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_FALSE(readable(first));
    const std::vector<unsigned char> report = reportCOn();
    ASSERT_EQ(write(first, report.data(), report.size()), 65);
    const int later = openNode("/dev/hidraw0");

    ASSERT_TRUE(readable(first, 1000));
    ASSERT_TRUE(readable(second, 1000));
    unsigned char reply[64] = {};
    // A short read takes the whole report: the rest of it is gone.
    EXPECT_EQ(read(first, reply, 2), 2);
    EXPECT_EQ(reply[0], 0x50);
    EXPECT_EQ(reply[1], 0x00);
    EXPECT_FALSE(readable(first));
    EXPECT_EQ(read(second, reply, sizeof reply), 64);
    EXPECT_EQ(reply[0], 0x50);
    EXPECT_FALSE(readable(second));
    // Opened after the chip answered: nothing for it.
    EXPECT_FALSE(readable(later, 100));

    EXPECT_EQ(write(first, report.data(), 1), -1);
    EXPECT_EQ(errno, EINVAL);
    for (const int fd : {first, second, later}) {
        close(fd);
    }
}

TEST(UmockdevTestbed, SilentChipOffersNothing) {
    const int fd = openNode("/dev/hidraw1");
    ASSERT_GE(fd, 0);
    const std::vector<unsigned char> report = reportCOn();
    EXPECT_EQ(write(fd, report.data(), report.size()), 65);
    EXPECT_FALSE(readable(fd, 300));
    close(fd);
}

}  // namespace
}  // namespace zorvex::test
