#include "usb_gadget.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mcp2221a/protocol.h"
#include "mcp2221a/report_descriptor.h"
#include "text/utf_text.h"

namespace zorvex::test {

namespace {

constexpr const char* kGadgets = "/sys/kernel/config/usb_gadget/";
// What configfs takes for one string: USB_MAX_STRING_LEN bytes of UTF-8.
constexpr std::size_t kLongestString = 126;

bool fail(const std::string& what, std::string& problem) {
    problem = what + ": " + std::strerror(errno);
    return false;
}

bool writeFile(const std::string& path, const std::string& contents, std::string& problem) {
    const int file = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (file < 0) {
        return fail(path, problem);
    }
    const ssize_t written = write(file, contents.data(), contents.size());
    const int error = errno;
    close(file);
    errno = error;
    return written == static_cast<ssize_t>(contents.size()) || fail(path, problem);
}

bool readFile(const std::string& path, std::string& contents) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char text[256];
    const ssize_t length = read(file, text, sizeof text);
    close(file);
    if (length < 0) {
        return false;
    }
    contents.assign(text, static_cast<std::size_t>(length));
    while (!contents.empty() && contents.back() == '\n') {
        contents.pop_back();
    }
    return true;
}

bool makeDirectory(const std::string& path, std::string& problem) {
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST || fail(path, problem);
}

bool link(const std::string& function, const std::string& gadget, std::string& problem) {
    const std::string target = gadget + "/functions/" + function;
    const std::string name = gadget + "/configs/c.1/" + function;
    return symlink(target.c_str(), name.c_str()) == 0 || fail(name, problem);
}

std::string hex16(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

// The string as the gadget gives it: UTF-8, cut where configfs stops
// taking it, never inside a character; empty for one the chip cannot give,
// which leaves the device without that string, as a chip without one.
std::string gadgetString(const std::u16string& text, bool readable) {
    if (!readable) {
        return {};
    }
    std::string utf8 = text::utf16ToUtf8(text.substr(0, text.find(u'\0')));
    if (utf8.size() > kLongestString) {
        std::size_t cut = kLongestString;
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        utf8.resize(cut);
    }
    return utf8;
}

}  // namespace

bool writeStrings(const Gadget& gadget, const sim::SimChip& chip, std::string& problem) {
    const std::string strings = gadget.path + "/strings/0x409/";
    return writeFile(strings + "manufacturer",
                     gadgetString(chip.manufacturer, chip.manufacturerReadable) + "\n", problem) &&
           writeFile(strings + "product", gadgetString(chip.product, chip.productReadable) + "\n",
                     problem);
}

bool makeGadget(const sim::SimChip& chip, std::size_t index, const std::string& udc, Gadget& gadget,
                std::string& problem) {
    gadget.device = index;
    gadget.udc = udc;
    // Named for its controller: runs side by side each have their own.
    gadget.path = kGadgets + std::string("zorvex-") + udc;
    const std::string& g = gadget.path;
    const std::string hid = g + "/functions/hid.usb0/";
    const bool isChip = sim::hasMcp2221aIds(chip);
    const std::string descriptor(std::begin(mcp2221a::kReportDescriptor),
                                 std::end(mcp2221a::kReportDescriptor));
    if (!makeDirectory(g, problem) || !writeFile(g + "/idVendor", hex16(chip.vendorId), problem) ||
        !writeFile(g + "/idProduct", hex16(chip.productId), problem) ||
        !writeFile(g + "/bcdDevice", hex16(mcp2221a::kDeviceRelease), problem) ||
        !writeFile(g + "/bcdUSB", "0x0200", problem) ||
        !makeDirectory(g + "/strings/0x409", problem) || !writeStrings(gadget, chip, problem) ||
        !makeDirectory(g + "/configs/c.1", problem) ||
        !writeFile(g + "/configs/c.1/MaxPower", "100", problem)) {
        return false;
    }
    // The chip's CDC interfaces come first: its HID function is interface 2.
    if (isChip &&
        (!makeDirectory(g + "/functions/acm.usb0", problem) || !link("acm.usb0", g, problem))) {
        return false;
    }
    return makeDirectory(hid, problem) && writeFile(hid + "protocol", "0", problem) &&
           writeFile(hid + "subclass", "0", problem) &&
           writeFile(hid + "report_length", std::to_string(mcp2221a::kReportBytes), problem) &&
           writeFile(hid + "report_desc", descriptor, problem) && link("hid.usb0", g, problem);
}

bool bindGadget(Gadget& gadget, std::string& problem) {
    if (!writeFile(gadget.path + "/UDC", gadget.udc + "\n", problem)) {
        return false;
    }
    gadget.bound = true;
    return true;
}

void unbindGadget(Gadget& gadget) {
    std::string ignored;
    if (gadget.bound) {
        writeFile(gadget.path + "/UDC", "\n", ignored);
        gadget.bound = false;
    }
}

void removeGadget(Gadget& gadget) {
    if (gadget.path.empty()) {
        return;
    }
    unbindGadget(gadget);
    const std::string g = gadget.path;
    gadget = {};
    for (const char* function : {"hid.usb0", "acm.usb0"}) {
        unlink((g + "/configs/c.1/" + function).c_str());
    }
    for (const std::string& directory : {g + "/configs/c.1", g + "/functions/hid.usb0",
                                         g + "/functions/acm.usb0", g + "/strings/0x409", g}) {
        rmdir(directory.c_str());
    }
}

std::string hidgNode(const Gadget& gadget) {
    std::string numbers;
    std::string uevent;
    if (!readFile(gadget.path + "/functions/hid.usb0/dev", numbers) ||
        !readFile("/sys/dev/char/" + numbers + "/uevent", uevent)) {
        return {};
    }
    const std::size_t at = uevent.find("DEVNAME=");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t end = uevent.find('\n', at);
    return "/dev/" + uevent.substr(at + 8, end == std::string::npos ? end : end - at - 8);
}

std::string usbPort(const std::string& udc) {
    // dummy_udc.N's host side is dummy_hcd.N, whose root hub is usbB: the
    // one device on it is B-1.
    const std::string number = udc.substr(udc.find('.') + 1);
    const std::string hcd = "/sys/devices/platform/dummy_hcd." + number;
    DIR* folder = opendir(hcd.c_str());
    if (folder == nullptr) {
        return {};
    }
    std::string bus;
    for (const dirent* entry = readdir(folder); entry != nullptr; entry = readdir(folder)) {
        if (std::strncmp(entry->d_name, "usb", 3) == 0) {
            bus = entry->d_name + 3;
        }
    }
    closedir(folder);
    struct stat status {};
    const std::string port = bus + "-1";
    return !bus.empty() && stat((hcd + "/usb" + bus + "/" + port).c_str(), &status) == 0 ? port
                                                                                         : "";
}

}  // namespace zorvex::test
