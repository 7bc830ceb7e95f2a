// A scenario device as a USB device of a real Linux kernel: a configfs
// gadget on one of dummy_hcd's controllers, which the same kernel then
// enumerates as it would a device on a cable. An MCP2221A gets the chip's
// two functions in its order (CDC ACM first, so that HID is interface 2)
// and its report descriptor; any other device a HID function alone.
#ifndef ZORVEX_TESTS_LINUX_VM_USB_GADGET_H
#define ZORVEX_TESTS_LINUX_VM_USB_GADGET_H

#include <cstddef>
#include <string>

#include "chip/mcp2221a_emulator.h"

namespace zorvex::test {

// The kernel's gadget HID function has four instances in all: no more
// devices than that can be plugged in at once, each on a controller of its
// own (dummy_udc.0 to .3, which the VM makes).
constexpr std::size_t kMostDevices = 4;

struct Gadget {
    std::size_t device = 0;  // its entry in the scenario
    std::string path;        // below /sys/kernel/config/usb_gadget
    std::string udc;         // dummy_udc.<n>
    bool bound = false;
};

// Makes device `index`'s gadget, unbound, on controller `udc`, with the
// chip's live strings (a string the chip cannot give is left out).
bool makeGadget(const sim::SimChip& chip, std::size_t index, const std::string& udc, Gadget& gadget,
                std::string& problem);

// Gives the gadget the chip's live strings again, as a power-up does;
// only while unbound.
bool writeStrings(const Gadget& gadget, const sim::SimChip& chip, std::string& problem);

// Plugs the gadget in, or pulls it out.
bool bindGadget(Gadget& gadget, std::string& problem);
void unbindGadget(Gadget& gadget);

// Unbinds it and takes its configfs tree down again.
void removeGadget(Gadget& gadget);

// The gadget's HID function's node, /dev/hidgN; empty while it has none.
std::string hidgNode(const Gadget& gadget);

// The USB port path the kernel gave the device on controller `udc`
// ("dummy_udc.2": "3-1"); empty while it has none.
std::string usbPort(const std::string& udc);

}  // namespace zorvex::test

#endif
