#include "seam/linux/hid_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "text/utf_text.h"

namespace zorvex::platform {

namespace {

// Whether `node` is `prefix` and a number, as "/dev/hidraw3" is for "/dev/hidraw".
bool hasNumberAfter(const std::string& node, const std::string& prefix) {
    return node.compare(0, prefix.size(), prefix) == 0 && node.size() > prefix.size() &&
           node.size() <= prefix.size() + 9 &&
           node.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// A sysfs attribute: small, so one read; without its trailing line break.
bool readAttribute(const std::string& path, std::string& value) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char text[4096];
    const ssize_t length = read(file, text, sizeof text);
    close(file);
    if (length < 0) {
        return false;
    }
    value.assign(text, static_cast<std::size_t>(length));
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) {
        value.pop_back();
    }
    return true;
}

}  // namespace

bool isHidrawPath(const std::string& path) {
    return hasNumberAfter(path, "/dev/hidraw");
}

bool isGpiochipPath(const std::string& path) {
    return hasNumberAfter(path, "/dev/gpiochip");
}

bool hasHidrawNodes(const std::string& sysfs) {
    DIR* folder = opendir((sysfs + "/class/hidraw").c_str());
    if (folder == nullptr) {
        return false;
    }
    bool found = false;
    for (const dirent* entry = readdir(folder); entry != nullptr && !found;
         entry = readdir(folder)) {
        found = entry->d_name[0] != '.';
    }
    closedir(folder);
    return found;
}

std::string hidDeviceFolder(const std::string& sysfs, const std::string& node) {
    // The kernel follows a link when it opens a path through it, and ".."
    // after it climbs the device tree, so each lookup below is one open. A
    // gpiochip is a device of the gpio bus, which gives it no "device"
    // link: its parent is the HID device.
    if (isHidrawPath(node)) {
        return sysfs + "/class/hidraw/" + node.substr(5) + "/device";
    }
    if (isGpiochipPath(node)) {
        return sysfs + "/bus/gpio/devices/" + node.substr(5) + "/..";
    }
    return {};
}

bool readHidIds(const std::string& sysfs, const std::string& node, std::uint16_t& vendorId,
                std::uint16_t& productId) {
    const std::string device = hidDeviceFolder(sysfs, node);
    std::string uevent;
    if (device.empty() || !readAttribute(device + "/uevent", uevent)) {
        return false;
    }
    // HID_ID=<bus>:<vendor>:<product>, each in hexadecimal.
    const std::size_t at = uevent.find("HID_ID=");
    if (at == std::string::npos || (at != 0 && uevent[at - 1] != '\n')) {
        return false;
    }
    const char* text = uevent.c_str() + at + 7;
    char* end = nullptr;
    std::strtoul(text, &end, 16);
    if (*end != ':') {
        return false;
    }
    const unsigned long vendor = std::strtoul(end + 1, &end, 16);
    if (*end != ':') {
        return false;
    }
    const unsigned long product = std::strtoul(end + 1, &end, 16);
    if (*end != '\n' && *end != '\0') {
        return false;
    }
    vendorId = static_cast<std::uint16_t>(vendor & 0xFFFF);
    productId = static_cast<std::uint16_t>(product & 0xFFFF);
    return true;
}

bool isUsbPortPath(const std::string& port) {
    const std::size_t dash = port.find('-');
    if (dash == 0 || dash == std::string::npos || port.find_first_not_of("0123456789") != dash) {
        return false;
    }
    bool digit = false;
    for (std::size_t i = dash + 1; i < port.size(); ++i) {
        if (port[i] == '.' && digit) {
            digit = false;
        } else if (port[i] >= '0' && port[i] <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    return digit;
}

bool readHidPort(const std::string& sysfs, const std::string& node, std::string& port) {
    const std::string device = hidDeviceFolder(sysfs, node);
    if (device.empty()) {
        return false;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        realpath((device + "/../..").c_str(), nullptr), &std::free);
    if (resolved == nullptr) {
        return false;
    }
    const std::string path = resolved.get();
    const std::string name = path.substr(path.rfind('/') + 1);
    if (!isUsbPortPath(name)) {
        return false;
    }
    port = name;
    return true;
}

bool readHidString(const std::string& sysfs, const std::string& node, DeviceString which,
                   StringBuffer& buffer) {
    // The strings belong to the USB device: the HID device's grandparent
    // (HID device, USB interface, USB device). Another bus has none there.
    const std::string device = hidDeviceFolder(sysfs, node);
    std::string utf8;
    if (device.empty() ||
        !readAttribute(device + (which == DeviceString::manufacturer ? "/../../manufacturer"
                                                                     : "/../../product"),
                       utf8)) {
        return false;
    }
    text::utf8ToUtf16Within(utf8, buffer.data(), buffer.size());
    return true;
}

}  // namespace zorvex::platform
