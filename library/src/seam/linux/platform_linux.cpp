// The device seam over hidapi (its hidraw backend on Linux). Paths come in
// hidapi's enumeration order; reports go out as written, report ID 0 first,
// and replies come back with that ID put in front again.
//
// hidapi, and libudev with it, is loaded the first time there is a hidraw
// node to list, not with this library: a start where there is none costs
// what the console's own start costs. Once loaded it stays loaded, as a
// library linked in would (RTLD_NODELETE), and each use finds it again by
// name, so nothing here is kept between calls.
#include <dlfcn.h>
#include <hidapi.h>
#include <link.h>

#include <cstring>
#include <memory>
#include <new>

#include "seam/linux/hidapi_framing.h"
#include "seam/linux/hidraw_sysfs.h"
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

// An open device, the path it was opened by (which is all sysfs needs to
// answer for its IDs and strings) and the hidapi calls it is used with.
struct Device {
    hid_device* hid;
    DevicePath path;
    decltype(hid_close)* close;
    decltype(hid_write)* write;
    decltype(hid_read_timeout)* read;
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
    if (!hasHidrawNodes(kSysfs)) {
        return;
    }
    const Hidapi hidapi(Load::ifNeeded);
    auto* enumerate = hidapi.find<decltype(hid_enumerate)>("hid_enumerate");
    auto* release = hidapi.find<decltype(hid_free_enumeration)>("hid_free_enumeration");
    if (enumerate == nullptr || release == nullptr) {
        return;
    }
    const std::unique_ptr<hid_device_info, decltype(release)> devices(enumerate(0, 0), release);
    for (const hid_device_info* device = devices.get(); device != nullptr; device = device->next) {
        if (device->path != nullptr) {
            list.emplace_back(device->path);
        }
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    const Hidapi hidapi(Load::ifNeeded);
    auto* open = hidapi.find<decltype(hid_open_path)>("hid_open_path");
    Device found{nullptr,
                 {},
                 hidapi.find<decltype(hid_close)>("hid_close"),
                 hidapi.find<decltype(hid_write)>("hid_write"),
                 hidapi.find<decltype(hid_read_timeout)>("hid_read_timeout")};
    if (open == nullptr || found.close == nullptr || found.write == nullptr ||
        found.read == nullptr) {
        return nullptr;
    }
    found.hid = open(path.c_str());
    if (found.hid == nullptr) {
        return nullptr;
    }
    auto* device = new (std::nothrow) Device{found};
    try {
        if (device != nullptr) {
            device->path = path;
        }
    } catch (...) {
        delete device;
        device = nullptr;
    }
    if (device == nullptr) {
        found.close(found.hid);
    }
    return device;
}

void closeDevice(DeviceHandle device) {
    asDevice(device)->close(asDevice(device)->hid);
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
    return readHidrawIds(kSysfs, asDevice(device)->path, vendorId, productId);
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    return readHidrawString(kSysfs, asDevice(device)->path, which, buffer);
}

bool readDevicePort(const DevicePath& path, std::string& port) {
    return readHidrawPort(kSysfs, path, port);
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    return asDevice(device)->write(asDevice(device)->hid, report.data(), report.size()) ==
           static_cast<int>(report.size());
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t timeoutMs) {
    unsigned char data[kHidReportSize - 1];
    const int received = asDevice(device)->read(asDevice(device)->hid, data, sizeof data,
                                                static_cast<int>(timeoutMs));
    return frameReply(data, received, reply, capacity, bytesRead);
}

}  // namespace zorvex::platform
