#include "gadget_chips.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace zorvex::test {

namespace {

using Clock = std::chrono::steady_clock;

// hid_mcp2221 in 6.1 cannot hear a chip during its probe (the device's
// input starts only once the probe is over), so every probe waits out the
// driver's six exchanges, 4 s each: a chip is taken about 25 s after it is
// plugged in, on real hardware as here. The bound is for a kernel that does
// not take the device at all.
constexpr auto kEnumerationBound = std::chrono::seconds(60);
constexpr auto kServeStep = std::chrono::milliseconds(10);

// The HID device the kernel made for the gadget: under interface 2 of an
// MCP2221A (its CDC interfaces come first), interface 0 of anything else.
// Empty while there is none.
std::string hidDevice(const Gadget& gadget, bool isChip) {
    const std::string port = usbPort(gadget.udc);
    if (port.empty()) {
        return {};
    }
    const std::string interface = "/sys/bus/usb/devices/" + port + ":1." +
                                  std::to_string(isChip ? mcp2221a::kHidInterface : 0);
    std::string found;
    if (DIR* folder = opendir(interface.c_str())) {
        for (const dirent* entry = readdir(folder); entry != nullptr && found.empty();
             entry = readdir(folder)) {
            if (std::strncmp(entry->d_name, "0003:", 5) == 0) {
                found = interface + "/" + entry->d_name;
            }
        }
        closedir(folder);
    }
    return found;
}

// Whether the kernel is done with the device: a chip has the driver it
// waits for bound (hid_mcp2221 binds after hid-generic did, once its module
// is loaded); anything else, which no driver of ours is for (a Unifying
// receiver's gets nowhere with it), has its HID device.
bool isTaken(const GadgetChips& chips, const ServedGadget& served, bool isChip) {
    const std::string device = hidDevice(served.gadget, isChip);
    if (device.empty() || !isChip) {
        return !device.empty();
    }
    char target[256] = {};
    const ssize_t length = readlink((device + "/driver").c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    const std::string driver(target, static_cast<std::size_t>(length));
    return driver.substr(driver.rfind('/') + 1) == chips.driver;
}

const sim::SimChip* chipOf(const GadgetChips& chips, std::size_t device) {
    const auto& scenario = chips.cache.scenario;
    return scenario && device < scenario->devices.chips.size() ? &scenario->devices.chips[device]
                                                               : nullptr;
}

// Whether the kernel would see the two as one device: what it reads when a
// device is plugged in (its IDs and strings) is the same. GP settings are
// the chip's to answer for, and the emulator answers from the file.
bool sameToTheKernel(const sim::SimChip& plugged, const sim::SimChip& chip) {
    return plugged.vendorId == chip.vendorId && plugged.productId == chip.productId &&
           plugged.manufacturer == chip.manufacturer && plugged.product == chip.product &&
           plugged.manufacturerReadable == chip.manufacturerReadable &&
           plugged.productReadable == chip.productReadable;
}

// Binds the gadget with the chip's live strings and opens its node, which
// the function makes as it binds.
bool plugInOne(GadgetChips& chips, ServedGadget& served, const sim::SimChip& chip,
               std::string& problem) {
    Gadget& gadget = served.gadget;
    chips.unsettled = true;
    if (!writeStrings(gadget, chip, problem) || !bindGadget(gadget, problem)) {
        return false;
    }
    served.pluggedAs = chip;
    // The function makes its node as it binds; devtmpfs may take a moment
    // to show it.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    std::string node;
    while ((node = hidgNode(gadget)).empty() ||
           (served.node = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) {
        if (Clock::now() > deadline) {
            problem = "device " + std::to_string(gadget.device) + ": no HID function node " + node +
                      ": " + std::strerror(errno);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void pullOutOne(ServedGadget& served) {
    if (served.node >= 0) {
        close(served.node);
        served.node = -1;
    }
    unbindGadget(served.gadget);
}

std::string controller(std::size_t index) {
    return "dummy_udc." + std::to_string(index);
}

// Serves the devices until the kernel has what is plugged in and nothing
// else: every device plugged in taken, none left where one was pulled out.
bool serveUntilTaken(GadgetChips& chips, std::string& problem) {
    const Clock::time_point deadline = Clock::now() + kEnumerationBound;
    for (;;) {
        std::size_t waitingFor = kMostDevices;
        for (std::size_t i = 0; i < kMostDevices && waitingFor == kMostDevices; ++i) {
            const ServedGadget* served = i < chips.gadgets.size() ? &chips.gadgets[i] : nullptr;
            const sim::SimChip* chip = served ? chipOf(chips, i) : nullptr;
            const bool plugged = served != nullptr && served->gadget.bound && chip != nullptr;
            if (plugged ? !isTaken(chips, *served, sim::hasMcp2221aIds(*chip))
                        : !usbPort(controller(i)).empty()) {
                waitingFor = i;
            }
        }
        if (waitingFor == kMostDevices) {
            return true;
        }
        if (Clock::now() > deadline) {
            problem = "the kernel did not take device " + std::to_string(waitingFor) + " in or out";
            return false;
        }
        serve(chips, kServeStep);
    }
}

// Waits for udev to have handled every event (the nodes' owners and modes
// are its rules' to set), serving meanwhile.
bool serveUntilUdevSettled(GadgetChips& chips, std::string& problem) {
    char program[] = "udevadm";
    char command[] = "settle";
    char timeout[] = "--timeout=30";
    char* argv[] = {program, command, timeout, nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) {
        problem = "udevadm cannot be started";
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        serve(chips, kServeStep);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        problem = "udev did not settle";
        return false;
    }
    chips.unsettled = false;
    return true;
}

}  // namespace

bool pointAt(GadgetChips& chips, const std::string& scenario, std::string& problem) {
    chips.scenario = scenario;
    sim::refresh(chips.cache, scenario);
    const std::vector<sim::SimChip> devices =
        chips.cache.scenario ? chips.cache.scenario->devices.chips : std::vector<sim::SimChip>();
    if (devices.size() > kMostDevices) {
        problem = "the kernel's gadget HID function gives " + std::to_string(kMostDevices) +
                  " devices at most";
        return false;
    }
    // What changes is pulled out first, and plugged in only once the kernel
    // has let the old device go: else the next program could meet it.
    std::vector<std::size_t> changed;
    chips.gadgets.resize(std::max(chips.gadgets.size(), devices.size()));
    for (std::size_t i = 0; i < chips.gadgets.size(); ++i) {
        ServedGadget& served = chips.gadgets[i];
        const bool kept = i < devices.size() && served.gadget.bound && devices[i].present &&
                          sameToTheKernel(served.pluggedAs, devices[i]);
        if (kept) {
            // Now the file's device: what it changes from here is a replug.
            served.pluggedAs = devices[i];
        } else {
            pullOutOne(served);
            removeGadget(served.gadget);
            changed.push_back(i);
        }
    }
    chips.gadgets.resize(devices.size());
    if (!serveUntilTaken(chips, problem)) {
        return false;
    }
    for (const std::size_t i : changed) {
        if (i >= devices.size()) {
            continue;
        }
        ServedGadget& served = chips.gadgets[i];
        if (!makeGadget(devices[i], i, controller(i), served.gadget, problem) ||
            (devices[i].present && !plugInOne(chips, served, devices[i], problem))) {
            return false;
        }
    }
    return serveUntilTaken(chips, problem) &&
           (!chips.unsettled || serveUntilUdevSettled(chips, problem));
}

void serve(GadgetChips& chips, std::chrono::milliseconds wait) {
    std::vector<pollfd> polled;
    std::vector<ServedGadget*> owners;
    for (ServedGadget& served : chips.gadgets) {
        if (served.node >= 0) {
            polled.push_back({served.node, POLLIN, 0});
            owners.push_back(&served);
        }
    }
    if (polled.empty()) {
        std::this_thread::sleep_for(wait);
        return;
    }
    if (poll(polled.data(), polled.size(), static_cast<int>(wait.count())) <= 0) {
        return;
    }
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if ((polled[i].revents & POLLIN) == 0) {
            continue;
        }
        // What the host sent, 1 to 64 bytes; the rest of the report is zero,
        // as the data sheet has the chip take it.
        HidReport report{};
        const ssize_t length = read(polled[i].fd, report.data() + 1, mcp2221a::kReportBytes);
        if (length <= 0) {
            continue;
        }
        const sim::Delivery delivery =
            sim::deliverReport(chips.scenario, owners[i]->gadget.device, report, &chips.cache);
        if (delivery.reply) {
            // The chip's one IN buffer: a reply the host has not fetched
            // yet keeps the next one out (EAGAIN), and that one is lost.
            const ssize_t written =
                write(polled[i].fd, delivery.reply->data() + 1, mcp2221a::kReportBytes);
            static_cast<void>(written);
        }
    }
}

void followTheFile(GadgetChips& chips) {
    sim::refresh(chips.cache, chips.scenario);
    for (std::size_t i = 0; i < chips.gadgets.size(); ++i) {
        ServedGadget& served = chips.gadgets[i];
        const sim::SimChip* chip = chipOf(chips, i);
        if (chip == nullptr) {
            continue;
        }
        const bool replugged =
            served.gadget.bound && (!sameToTheKernel(served.pluggedAs, *chip) ||
                                    chip->gpSettings != served.pluggedAs.gpSettings);
        if (served.gadget.bound && (!chip->present || replugged)) {
            pullOutOne(served);
        }
        // Plugged in again once the kernel has let the old device go.
        std::string problem;
        if (chip->present && !served.gadget.bound && usbPort(served.gadget.udc).empty() &&
            !plugInOne(chips, served, *chip, problem)) {
            std::fprintf(stderr, "zorvex_gadget: %s\n", problem.c_str());
        }
    }
}

void pullOut(GadgetChips& chips) {
    for (ServedGadget& served : chips.gadgets) {
        if (served.node >= 0) {
            close(served.node);
            served.node = -1;
        }
    }
    for (ServedGadget& served : chips.gadgets) {
        removeGadget(served.gadget);
    }
    chips.gadgets.clear();
}

}  // namespace zorvex::test
