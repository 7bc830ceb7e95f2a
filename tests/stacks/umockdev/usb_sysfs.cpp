#include "usb_sysfs.h"

#include <cstdio>

#include "mcp2221a/protocol.h"
#include "mcp2221a/report_descriptor.h"
#include "text/utf_text.h"

namespace zorvex::test {

namespace {

constexpr const char* kController = "/devices/pci0000:00/0000:00:14.0";
constexpr const char* kControllerName = "0000:00:14.0";
constexpr int kHidrawMajor = 240;  // dynamic; what the recording shows
constexpr int kUsbDeviceMajor = 189;
// A USB string descriptor is at most 255 bytes: 126 code units after its header.
constexpr std::size_t kUsbStringUnits = 126;
// struct hid_device's name and phys arrays, terminator included.
constexpr std::size_t kHidNameBytes = 128;
constexpr std::size_t kHidPhysBytes = 64;

std::string format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

// The kernel's name for a HID device: manufacturer and product joined by a
// blank, or "HID vvvv:pppp" when the chip has neither, cut to fit.
std::string hidName(const std::optional<std::string>& manufacturer,
                    const std::optional<std::string>& product, const sim::SimChip& chip) {
    std::string name = manufacturer.value_or("");
    if (product) {
        name += (manufacturer ? " " : "") + *product;
    }
    if (name.empty()) {
        name = format("HID %04x:%04x", chip.vendorId, chip.productId);
    }
    return name.substr(0, kHidNameBytes - 1);
}

// The relative way up from a sysfs directory to /sys itself.
std::string upToSysfs(const std::string& path) {
    std::string up;
    for (const char c : path) {
        up += c == '/' ? "../" : "";
    }
    return up;
}

std::string hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char byte : bytes) {
        out += kDigits[static_cast<unsigned char>(byte) >> 4];
        out += kDigits[static_cast<unsigned char>(byte) & 0x0F];
    }
    return out;
}

}  // namespace

std::string portPath(std::size_t index, std::size_t count) {
    std::size_t levels = 1;
    for (std::size_t capacity = 9; capacity < count; capacity *= 9) {
        ++levels;
    }
    std::string path;
    for (std::size_t level = 0; level < levels; ++level) {
        path.insert(0, (level + 1 < levels ? "." : "") + std::to_string(index % 9 + 1));
        index /= 9;
    }
    return "1-" + path;
}

std::optional<std::string> sysfsUsbString(const std::u16string& string) {
    // As the kernel converts it: cut at the descriptor's end or its first
    // zero unit, and a surrogate without its partner dropped.
    const std::u16string_view units(string.data(), std::min(string.size(), kUsbStringUnits));
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0;) {
        const text::Decoded next = text::decodeUtf16(units, i);
        if (!text::isSurrogate(next.character)) {
            text::appendUtf8(out, next.character);
        }
        i += next.length;
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

std::vector<SysfsDevice> describeDevice(const sim::SimChip& chip, std::size_t index,
                                        std::size_t count, HidrawFacts& facts) {
    const bool isChip = sim::hasMcp2221aIds(chip);
    const unsigned interfaceNumber = isChip ? mcp2221a::kHidInterface : 0;
    const unsigned release = mcp2221a::kDeviceRelease;
    const unsigned deviceNumber = static_cast<unsigned>(index) + 2;  // 1 is the root hub
    const std::string port = chip.port.empty() ? portPath(index, count) : chip.port;
    const std::string bus = port.substr(0, port.find('-'));
    const std::string devpath = port.substr(bus.size() + 1);

    const std::optional<std::string> manufacturer =
        chip.manufacturerReadable ? sysfsUsbString(chip.manufacturer) : std::nullopt;
    const std::optional<std::string> product =
        chip.productReadable ? sysfsUsbString(chip.product) : std::nullopt;

    facts.vendorId = chip.vendorId;
    facts.productId = chip.productId;
    facts.name = hidName(manufacturer, product, chip);
    facts.phys = ("usb-" + std::string(kControllerName) + "-" + devpath + "/input" +
                  std::to_string(interfaceNumber))
                     .substr(0, kHidPhysBytes - 1);
    facts.uniq.clear();  // the chip enumerates no serial number

    const std::string usbIds = format("%x/%x/%x", chip.vendorId, chip.productId, release);
    const std::string usbModalias =
        format("usb:v%04Xp%04Xd%04X", chip.vendorId, chip.productId, release) +
        "dc00dsc00dp00ic03isc00ip00in" + format("%02X", interfaceNumber);

    SysfsDevice usb;
    usb.path = std::string(kController) + "/usb" + bus + "/" + port;
    usb.subsystem = "usb";
    const auto busNumber = static_cast<unsigned>(std::stoul(bus));
    const std::string busNode = format("bus/usb/%03u/%03u", busNumber, deviceNumber);
    usb.uevent = format("MAJOR=%d\nMINOR=%u\n", kUsbDeviceMajor, deviceNumber - 1) +
                 "DEVNAME=" + busNode + "\nDEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=" + usbIds +
                 "\nTYPE=0/0/0\n" + format("BUSNUM=%03u\nDEVNUM=%03u\n", busNumber, deviceNumber);
    usb.attributes = {
        {"idVendor", format("%04x\n", chip.vendorId)},
        {"idProduct", format("%04x\n", chip.productId)},
        {"bcdDevice", format("%04x\n", release)},
        {"bDeviceClass", "00\n"},
        {"bNumInterfaces", isChip ? " 3\n" : " 1\n"},
        {"bConfigurationValue", "1\n"},
        {"bMaxPacketSize0", "64\n"},
        {"busnum", bus + "\n"},
        {"devnum", format("%u\n", deviceNumber)},
        {"devpath", devpath + "\n"},
        {"speed", "12\n"},
        {"version", " 2.00\n"},
        {"dev", format("%d:%u\n", kUsbDeviceMajor, deviceNumber - 1)},
    };
    usb.links = {{"driver", upToSysfs(usb.path) + "bus/usb/drivers/usb"}};
    if (manufacturer) {
        usb.attributes.emplace_back("manufacturer", *manufacturer + "\n");
    }
    if (product) {
        usb.attributes.emplace_back("product", *product + "\n");
    }

    SysfsDevice usbInterface;
    usbInterface.path = usb.path + "/" + port + ":1." + std::to_string(interfaceNumber);
    usbInterface.subsystem = "usb";
    usbInterface.uevent = "DEVTYPE=usb_interface\nDRIVER=usbhid\nPRODUCT=" + usbIds +
                          "\nTYPE=0/0/0\nINTERFACE=3/0/0\nMODALIAS=" + usbModalias + "\n";
    usbInterface.attributes = {
        {"bInterfaceClass", "03\n"},      {"bInterfaceSubClass", "00\n"},
        {"bInterfaceProtocol", "00\n"},   {"bInterfaceNumber", format("%02x\n", interfaceNumber)},
        {"bAlternateSetting", " 0\n"},    {"bNumEndpoints", "02\n"},
        {"modalias", usbModalias + "\n"},
    };
    usbInterface.links = {{"driver", upToSysfs(usbInterface.path) + "bus/usb/drivers/usbhid"}};

    SysfsDevice hid;
    const std::string hidName = format("0003:%04X:%04X", chip.vendorId, chip.productId) +
                                format(".%04X", static_cast<unsigned>(index) + 1);
    hid.path = usbInterface.path + "/" + hidName;
    hid.subsystem = "hid";
    const std::string hidModalias =
        format("hid:b0003g0001v%08Xp%08X", chip.vendorId, chip.productId);
    hid.uevent = "DRIVER=hid-generic\n";
    if (chip.attributesReadable) {
        hid.uevent += format("HID_ID=0003:%08X:%08X\n", chip.vendorId, chip.productId);
    }
    hid.uevent += "HID_NAME=" + facts.name + "\nHID_PHYS=" + facts.phys +
                  "\nHID_UNIQ=" + facts.uniq + "\nMODALIAS=" + hidModalias + "\n";
    hid.attributes = {
        {"country", "00\n"},
        {"modalias", hidModalias + "\n"},
        {"report_descriptor", std::string(std::begin(mcp2221a::kReportDescriptor),
                                          std::end(mcp2221a::kReportDescriptor))},
    };
    hid.links = {{"driver", upToSysfs(hid.path) + "bus/hid/drivers/hid-generic"}};

    SysfsDevice hidraw;
    const std::string node = "hidraw" + std::to_string(index);
    hidraw.path = hid.path + "/hidraw/" + node;
    hidraw.subsystem = "hidraw";
    hidraw.uevent = format("MAJOR=%d\nMINOR=%u\n", kHidrawMajor, static_cast<unsigned>(index)) +
                    "DEVNAME=" + node + "\n";
    hidraw.attributes = {{"dev", format("%d:%u\n", kHidrawMajor, static_cast<unsigned>(index))}};
    hidraw.links = {{"device", "../../../" + hidName}};

    return {usb, usbInterface, hid, hidraw};
}

std::string umockdevRecord(const std::vector<SysfsDevice>& devices) {
    std::string text;
    for (const SysfsDevice& device : devices) {
        text += "P: " + device.path + "\nE: SUBSYSTEM=" + device.subsystem + "\n";
        for (const auto& [name, target] : device.links) {
            text += "L: " + name + "=" + target + "\n";
        }
        for (const auto& [name, value] : device.attributes) {
            text += "H: " + name + "=" + hex(value) + "\n";
        }
        text += "\n";
    }
    return text;
}

}  // namespace zorvex::test
