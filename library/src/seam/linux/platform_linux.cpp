// The device seam on Linux. A chip reaches us one of two ways: as a hidraw
// node, through hidapi (its hidraw backend), or, where Linux's own
// hid_mcp2221 driver holds it, as that driver's gpiochip. Paths come in
// hidapi's enumeration order, the driver's chips placed among them by
// where they are plugged in. Reports to a hidraw node go out as written,
// report ID 0 first, and replies come back with that ID put in front again;
// a report to a chip the driver holds is carried out through its gpiochip
// and answered as the chip would have answered it.
//
// hidapi, and libudev with it, is loaded the first time there is a hidraw
// node to list, not with this library: a start where there is none costs
// what the console's own start costs. Once loaded it stays loaded, as a
// library linked in would (RTLD_NODELETE), and each use finds it again by
// name, so nothing here is kept between calls.
#include <dlfcn.h>
#include <hidapi.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "seam/linux/driver_held_chips.h"
#include "seam/linux/gpio_reports.h"
#include "seam/linux/gpiochip_line.h"
#include "seam/linux/hid_sysfs.h"
#include "seam/linux/hidapi_framing.h"
#include "seam/platform.h"

namespace zorvex::platform {

namespace {

constexpr const char* kHidapi = "libhidapi-hidraw.so.0";
constexpr const char* kSysfs = "/sys";

enum class Load { ifNeeded, onlyIfLoaded };

// One use of hidapi: a reference to the loaded library, dropped at the end.
class Hidapi {
  public:
    explicit Hidapi(Load load)
        : library_(dlopen(kHidapi, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE |
                                       (load == Load::onlyIfLoaded ? RTLD_NOLOAD : 0))) {}
    ~Hidapi() {
        if (library_ != nullptr) {
            dlclose(library_);
        }
    }
    Hidapi(const Hidapi&) = delete;
    Hidapi& operator=(const Hidapi&) = delete;

    // hidapi's function `name`, of the type `Function` declares; nullptr
    // where hidapi is missing.
    template <typename Function>
    Function* find(const char* name) const {
        return library_ == nullptr ? nullptr : reinterpret_cast<Function*>(dlsym(library_, name));
    }

  private:
    void* library_;
};

// An open device and the path it was opened by, which is all sysfs needs
// to answer for its IDs and strings. A hidraw node is hidapi's device with
// the hidapi calls it is used with; a chip the kernel's driver holds is its
// gpiochip, and what its last report came to.
struct Device {
    DevicePath path;
    hid_device* hid = nullptr;
    decltype(hid_close)* close = nullptr;
    decltype(hid_write)* write = nullptr;
    decltype(hid_read_timeout)* read = nullptr;
    int gpiochip = -1;
    std::optional<HidReport> answer;
};

Device* asDevice(DeviceHandle device) {
    return static_cast<Device*>(device);
}

// dl_iterate_phdr's visitor: 1 for the loaded object that is hidapi.
int isHidapi(dl_phdr_info* info, std::size_t, void*) {
    const std::size_t length = std::strlen(info->dlpi_name);
    const std::size_t wanted = std::strlen(kHidapi);
    if (length < wanted || std::strcmp(info->dlpi_name + length - wanted, kHidapi) != 0) {
        return 0;
    }
    return length == wanted || info->dlpi_name[length - wanted - 1] == '/' ? 1 : 0;
}

// Whether hidapi is loaded: asking dlopen to load it only if it is would
// search the file system for it first.
bool hidapiIsLoaded() {
    return dl_iterate_phdr(isHidapi, nullptr) != 0;
}

// hidapi keeps a little state of its own once used (its last error text);
// it goes when this library is unloaded, not with the process.
__attribute__((destructor)) void releaseHidapi() {
    if (!hidapiIsLoaded()) {
        return;
    }
    const Hidapi hidapi(Load::onlyIfLoaded);
    if (auto* exit = hidapi.find<decltype(hid_exit)>("hid_exit")) {
        exit();
    }
}

}  // namespace

void listHidInterfaces(DeviceList& list) {
    // Without a hidraw node, hidapi and udev would be started only to find nothing.
    if (hasHidrawNodes(kSysfs)) {
        const Hidapi hidapi(Load::ifNeeded);
        auto* enumerate = hidapi.find<decltype(hid_enumerate)>("hid_enumerate");
        auto* release = hidapi.find<decltype(hid_free_enumeration)>("hid_free_enumeration");
        if (enumerate != nullptr && release != nullptr) {
            const std::unique_ptr<hid_device_info, decltype(release)> devices(enumerate(0, 0),
                                                                              release);
            for (const hid_device_info* device = devices.get(); device != nullptr;
                 device = device->next) {
                if (device->path != nullptr) {
                    list.emplace_back(device->path);
                }
            }
        }
    }
    addDriverHeldChips(kSysfs, list);
}

namespace {

DeviceHandle openThroughHidapi(const DevicePath& path) {
    const Hidapi hidapi(Load::ifNeeded);
    auto* open = hidapi.find<decltype(hid_open_path)>("hid_open_path");
    Device found;
    found.close = hidapi.find<decltype(hid_close)>("hid_close");
    found.write = hidapi.find<decltype(hid_write)>("hid_write");
    found.read = hidapi.find<decltype(hid_read_timeout)>("hid_read_timeout");
    if (open == nullptr || found.close == nullptr || found.write == nullptr ||
        found.read == nullptr) {
        return nullptr;
    }
    found.hid = open(path.c_str());
    if (found.hid == nullptr) {
        return nullptr;
    }
    Device* device = nullptr;
    try {
        found.path = path;
        device = new Device(std::move(found));
    } catch (...) {
        found.close(found.hid);
    }
    return device;
}

DeviceHandle openThroughDriver(const DevicePath& path) {
    const int chip = openChipGpio(path);
    if (chip < 0) {
        return nullptr;
    }
    Device* device = nullptr;
    try {
        device = new Device;
        device->path = path;
        device->gpiochip = chip;
    } catch (...) {
        delete device;
        device = nullptr;
        close(chip);
    }
    return device;
}

}  // namespace

DeviceHandle openDevice(const DevicePath& path) {
    return isGpiochipPath(path) ? openThroughDriver(path) : openThroughHidapi(path);
}

void closeDevice(DeviceHandle device) {
    if (asDevice(device)->hid != nullptr) {
        asDevice(device)->close(asDevice(device)->hid);
    }
    if (asDevice(device)->gpiochip >= 0) {
        close(asDevice(device)->gpiochip);
    }
    delete asDevice(device);
}

// From sysfs, where hidapi itself finds them. Every path here comes from
// hid_enumerate, which lists a hidraw node only once it has read HID_ID from
// this same uevent file. hidapi's strings are these same attributes of the
// USB device, with empty text for one that is missing (a string the chip
// does not have, which Windows reports as a failed read) and the HID name on
// other buses, which is no USB string. Asking hidapi after sysfs could only
// ever give another answer, never a better one.
bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    return readHidIds(kSysfs, asDevice(device)->path, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    return readHidString(kSysfs, asDevice(device)->path, which, buffer);
}

bool readDevicePort(const DevicePath& path, std::string& port) {
    return readHidPort(kSysfs, path, port);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    Device& open = *asDevice(device);
    if (open.hid != nullptr) {
        return open.write(open.hid, report.data(), report.size()) ==
               static_cast<int>(report.size());
    }
    // What the driver cannot carry out is never sent.
    const LineAsk ask = lineAskOf(report);
    if (ask == LineAsk::unsupported) {
        return false;
    }
    const LineState state = ask == LineAsk::read
                                ? readGp0(open.gpiochip)
                                : driveGp0(open.gpiochip, ask == LineAsk::driveHigh);
    open.answer = replyThroughLine(report, state);
    return true;
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    Device& open = *asDevice(device);
    if (open.hid != nullptr) {
        unsigned char data[kHidReportSize - 1];
        const int received = open.read(open.hid, data, sizeof data, static_cast<int>(timeoutMs));
        return frameReply(data, received, reply, capacity, bytesRead);
    }
    // The driver has already waited for the chip; no other answer comes.
    bytesRead = 0;
    if (!open.answer || capacity == 0) {
        return false;
    }
    bytesRead = std::min<std::uint32_t>(capacity, kHidReportSize);
    std::copy_n(open.answer->begin(), bytesRead, reply.begin());
    open.answer.reset();
    return true;
}

}  // namespace zorvex::platform
