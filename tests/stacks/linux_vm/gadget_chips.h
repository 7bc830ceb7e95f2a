// A scenario file's devices as gadgets of the running kernel, each HID
// function's node served by the emulator: what the host side of the kernel
// sends a device reaches the file's chip, and the chip's answer goes back.
//
// Everything runs in one loop: a kernel driver's probe waits for the chip's
// answers, so nothing here may wait for the kernel without serving.
#ifndef ZORVEX_TESTS_LINUX_VM_GADGET_CHIPS_H
#define ZORVEX_TESTS_LINUX_VM_GADGET_CHIPS_H

#include <chrono>
#include <string>
#include <vector>

#include "scenario/scenario_delivery.h"
#include "usb_gadget.h"

namespace zorvex::test {

struct ServedGadget {
    Gadget gadget;
    int node = -1;  // /dev/hidgN, open while the gadget is bound
    // The device as it was plugged in, to tell a replug from the file.
    sim::SimChip pluggedAs;
};

struct GadgetChips {
    std::string scenario;
    // The HID driver a chip waits for: "mcp2221" (Linux's hid_mcp2221) or
    // "hid-generic".
    std::string driver;
    sim::CachedScenario cache;
    // One a device of the file, on dummy_udc.<its index>.
    std::vector<ServedGadget> gadgets;
    // A device was plugged in since udev last settled: its node's owner
    // and mode may not be udev's yet.
    bool unsettled = false;
};

// Makes the devices plugged in those of the file at `scenario`, and serves
// them from it. A device the kernel already has as the file describes it
// (the same IDs and strings, plugged in) stays as it is; any other is
// pulled out and made anew. Then serves them until the kernel has
// enumerated them, a chip has the driver bound, and udev has settled.
// False, with the problem, when the kernel does not take them.
bool pointAt(GadgetChips& chips, const std::string& scenario, std::string& problem);

// Answers what the devices received, waiting at most `wait` for the first.
void serve(GadgetChips& chips, std::chrono::milliseconds wait);

// Plugs a device in or out as the file now says; one whose strings or GP
// settings changed (a replug) is pulled out and plugged in again. It does
// not wait: the kernel takes a device while serve() answers it.
void followTheFile(GadgetChips& chips);

// Closes every node, then unbinds and removes every gadget: a node still
// open while its gadget goes corrupts 6.1's f_hid.
void pullOut(GadgetChips& chips);

}  // namespace zorvex::test

#endif
