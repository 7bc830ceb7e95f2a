#include "seam/linux/driver_held_chips.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "seam/linux/hid_sysfs.h"

namespace zorvex::platform {

namespace {

// The HID devices bound to the driver are links in its folder, named as
// HID devices are ("0003:04D8:00DD.0001"), beside its bind, unbind,
// new_id, module and uevent files.
constexpr const char* kDriverFolder = "/bus/hid/drivers/mcp2221";

struct CloseFolder {
    void operator()(DIR* folder) const { closedir(folder); }
};
using Folder = std::unique_ptr<DIR, CloseFolder>;

Folder openFolder(const std::string& path) {
    return Folder(opendir(path.c_str()));
}

bool isHidDeviceName(const char* name) {
    return std::strncmp(name, "0003:", 5) == 0;
}

// A path with its links resolved; empty where it does not resolve.
std::string resolved(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : std::string();
}

// The gpiochip the driver made under a HID device it holds; empty until it
// has made one.
std::string gpiochipUnder(const std::string& hidDevice) {
    const Folder folder = openFolder(hidDevice);
    for (const dirent* entry = folder ? readdir(folder.get()) : nullptr; entry != nullptr;
         entry = readdir(folder.get())) {
        const std::string path = std::string("/dev/") + entry->d_name;
        if (isGpiochipPath(path)) {
            return path;
        }
    }
    return {};
}

}  // namespace

bool hasDriverHeldChips(const std::string& sysfs) {
    const Folder folder = openFolder(sysfs + kDriverFolder);
    for (const dirent* entry = folder ? readdir(folder.get()) : nullptr; entry != nullptr;
         entry = readdir(folder.get())) {
        if (isHidDeviceName(entry->d_name)) {
            return true;
        }
    }
    return false;
}

void addDriverHeldChips(const std::string& sysfs, DeviceList& list) {
    // Each chip by where its HID device is in sysfs.
    std::vector<std::pair<std::string, DevicePath>> held;
    const std::string driver = sysfs + kDriverFolder;
    const Folder folder = openFolder(driver);
    for (const dirent* entry = folder ? readdir(folder.get()) : nullptr; entry != nullptr;
         entry = readdir(folder.get())) {
        if (!isHidDeviceName(entry->d_name)) {
            continue;
        }
        const std::string hidDevice = resolved(driver + "/" + entry->d_name);
        std::string gpiochip = gpiochipUnder(hidDevice);
        if (!hidDevice.empty() && !gpiochip.empty()) {
            held.emplace_back(hidDevice, std::move(gpiochip));
        }
    }
    if (held.empty()) {
        return;
    }
    std::sort(held.begin(), held.end());
    DeviceList merged;
    merged.reserve(list.size() + held.size());
    auto next = held.begin();
    for (DevicePath& path : list) {
        const std::string place = resolved(hidDeviceFolder(sysfs, path));
        for (; next != held.end() && !place.empty() && next->first < place; ++next) {
            merged.push_back(std::move(next->second));
        }
        merged.push_back(std::move(path));
    }
    for (; next != held.end(); ++next) {
        merged.push_back(std::move(next->second));
    }
    list = std::move(merged);
}

}  // namespace zorvex::platform
