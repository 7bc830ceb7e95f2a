// The library above the device seam against fuzzed devices: IDs, strings of
// any length with or without a terminator, answers that accept, refuse,
// fail or come short, with any content where it must not matter, replies
// to other programs' commands ahead of its own, failures at any step,
// devices unplugged between two steps.
// Every export's result, the strings it hands back and every report it
// sends equal a model of the rules, and every handle it opened is closed
// again. The model knows what each device meant by its answer; it never
// reads the reply's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "expected_reports.h"
#include "fuzz_check.h"
#include "mcp2221a/protocol.h"
#include "seam/platform.h"
#include "zorvex.h"

namespace {

namespace chip = zorvex::mcp2221a;

// What a device means by its answer to each command.
enum class Answer {
    silent,          // nothing at all
    accepts,         // the command echoed, status OK
    refusesGp0,      // as accepts, but GP0's four bytes say it is not a GPIO
    failsStatus,     // as accepts, with another status
    comesShort,      // as accepts, cut before all it must show
    answersAnother,  // only replies to another program's command
};

struct FuzzDevice {
    bool openable = true;
    int opensLeft = -1;  // unplugged after that many opens; -1: never
    bool idsReadable = true;
    std::uint16_t vendorId = chip::kVendorId;
    std::uint16_t productId = chip::kProductId;
    bool manufacturerReadable = true;
    bool productReadable = true;
    std::u16string manufacturer;
    std::u16string product;
    bool writeTakesAll = true;
    Answer answer = Answer::silent;
    std::uint8_t detail = 0;  // the status that fails, or how short
    // Bytes that must not matter to the result: everything after what the
    // reply shows (and the report ID), set to the device's whim.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> noise;  // index, value
    // Replies to another program's command that reach this handle first;
    // for Set GPIO Output Values, also another program's switch of GP0.
    int foreignReplies = 0;
    bool foreignSwitchFirst = false;
    std::vector<zorvex::HidReport> received;
    // What the handle has still to read, after the last report: as on a
    // real stack, each reply arrives once and then the wait finds nothing.
    std::vector<std::vector<std::uint8_t>> queued;
    int openHandles = 0;
};

std::vector<FuzzDevice> devices;

struct Handle {
    std::size_t device;
};

bool isSwitch(const zorvex::HidReport& report) {
    return report[chip::kCommandCode] == chip::kSetGpioOutputValues;
}

// How much of a reply to `report` the library must see: up to GP0's four
// bytes for Set GPIO Output Values, up to the status otherwise.
std::size_t shownBytes(const zorvex::HidReport& report) {
    return isSwitch(report) ? chip::set_gpio::kGp0Direction + 1 : chip::kStatus + 1;
}

// The device's own reply to `report`; empty when it sends none.
std::vector<std::uint8_t> replyTo(const FuzzDevice& d, const zorvex::HidReport& report) {
    if (d.answer == Answer::silent || d.answer == Answer::answersAnother) {
        return {};
    }
    std::vector<std::uint8_t> reply(report.size(), 0);
    for (const auto& [index, value] : d.noise) {
        reply[index % reply.size()] = value;
    }
    const std::size_t shown = shownBytes(report);
    std::copy(report.begin() + 1, report.begin() + static_cast<std::ptrdiff_t>(shown),
              reply.begin() + 1);
    reply[chip::kStatus] = chip::kStatusOk;
    switch (d.answer) {
        case Answer::refusesGp0:
            // A flash command's reply has no GP0 bytes: these are noise there.
            std::fill_n(reply.begin() + chip::set_gpio::pinAt(0), chip::set_gpio::kPinBytes,
                        chip::kNotGpio);
            break;
        case Answer::failsStatus:
            reply[chip::kStatus] = static_cast<std::uint8_t>(1 + d.detail % 255);
            break;
        case Answer::comesShort:
            reply.resize(1 + d.detail % (shown - 1));
            break;
        default:
            break;
    }
    return reply;
}

// Everything that reaches the handle after `report`, in order.
std::vector<std::vector<std::uint8_t>> repliesAfter(const FuzzDevice& d,
                                                    const zorvex::HidReport& report) {
    std::vector<std::vector<std::uint8_t>> replies;
    if (d.foreignSwitchFirst && isSwitch(report)) {
        // Another program switched GP0 the other way, and the chip took it.
        std::vector<std::uint8_t> other(report.begin(), report.end());
        other[chip::set_gpio::kGp0Output] ^= 0x01;
        other[chip::kStatus] = chip::kStatusOk;
        replies.push_back(other);
    }
    const int foreign = d.foreignReplies + (d.answer == Answer::answersAnother ? 1 : 0);
    for (int i = 0; i < foreign; ++i) {
        std::vector<std::uint8_t> other(report.begin(), report.end());
        other[chip::kCommandCode] ^= static_cast<std::uint8_t>(1 + i);
        replies.push_back(other);
    }
    if (const auto own = replyTo(d, report); !own.empty()) {
        replies.push_back(own);
    }
    return replies;
}

}  // namespace

// The device seam over `devices`.
namespace zorvex::platform {

void listHidInterfaces(DeviceList& list) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        list.push_back("fuzz#" + std::to_string(i));
    }
}

DeviceHandle openDevice(const DevicePath& path) {
    const std::size_t i = std::stoul(path.substr(5));
    if (i >= devices.size() || !devices[i].openable || devices[i].opensLeft == 0) {
        return nullptr;
    }
    if (devices[i].opensLeft > 0) {
        --devices[i].opensLeft;
    }
    ++devices[i].openHandles;
    return new Handle{i};
}

void closeDevice(DeviceHandle device) {
    --devices[static_cast<Handle*>(device)->device].openHandles;
    delete static_cast<Handle*>(device);
}

bool readDeviceIds(DeviceHandle device, std::uint16_t& vendorId, std::uint16_t& productId) {
    const FuzzDevice& d = devices[static_cast<Handle*>(device)->device];
    vendorId = d.vendorId;
    productId = d.productId;
    return d.idsReadable;
}

bool readDeviceString(DeviceHandle device, DeviceString which, StringBuffer& buffer) {
    const FuzzDevice& d = devices[static_cast<Handle*>(device)->device];
    const bool manufacturer = which == DeviceString::manufacturer;
    if (!(manufacturer ? d.manufacturerReadable : d.productReadable)) {
        return false;
    }
    const std::u16string& text = manufacturer ? d.manufacturer : d.product;
    std::copy_n(text.begin(), std::min(text.size(), buffer.size()), buffer.begin());
    return true;
}

bool writeReport(DeviceHandle device, const HidReport& report) {
    FuzzDevice& d = devices[static_cast<Handle*>(device)->device];
    d.received.push_back(report);
    d.queued.clear();
    if (d.writeTakesAll) {
        d.queued = repliesAfter(d, report);
    }
    return d.writeTakesAll;
}

bool readReport(DeviceHandle device, HidReport& reply, std::uint32_t capacity,
                std::uint32_t& bytesRead, std::uint32_t) {
    FuzzDevice& d = devices[static_cast<Handle*>(device)->device];
    bytesRead = 0;
    if (d.queued.empty()) {
        return false;
    }
    const std::vector<std::uint8_t> answer = d.queued.front();
    d.queued.erase(d.queued.begin());
    bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, answer.size()));
    std::copy_n(answer.begin(), bytesRead, reply.begin());
    return true;
}

}  // namespace zorvex::platform

namespace {

const std::u16string kUnit = u"DELOQ-72N SWITCHER";

// The text a device's string gives: what fits in 256 units, up to its
// first zero unit.
std::u16string seen(const std::u16string& text) {
    const std::u16string fitted = text.substr(0, 256);
    return fitted.substr(0, fitted.find(u'\0'));
}

// Whether the device still opens the n-th time an export opens it: once to
// find the chips, then once for each later step (unit check, each exchange,
// string read), in that order.
bool opens(const FuzzDevice& d, int n) {
    return d.openable && (d.opensLeft < 0 || n <= d.opensLeft);
}

bool isChip(const FuzzDevice& d) {
    return opens(d, 1) && d.idsReadable && d.vendorId == chip::kVendorId &&
           d.productId == chip::kProductId;
}

bool isUnit(const FuzzDevice& d) {
    return isChip(d) && opens(d, 2) && d.productReadable && seen(d.product) == kUnit;
}

zorvex::HidReport fromHex(const std::string& hex) {
    zorvex::HidReport report{};
    for (std::size_t i = 0; i < report.size(); ++i) {
        report[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return report;
}
zorvex::HidReport productReport() {
    return fromHex(zorvex::test::kWriteProductStringReport);
}
zorvex::HidReport settingsReport() {
    return fromHex(zorvex::test::kWriteGpSettingsReport);
}
// Set GPIO Output Values carries the state's low byte as GP0's value, its
// byte 4.
zorvex::HidReport switchReport(std::uint8_t state) {
    zorvex::HidReport report = fromHex(zorvex::test::kSetGp0OnReport);
    report[4] = state;
    return report;
}

// Whether the device's answer confirms `report`: it took the whole report
// and accepted it, or refused GP0 where the command has no GP0 to refuse.
// Replies to other programs' commands before it change nothing.
bool confirms(const FuzzDevice& d, const zorvex::HidReport& report) {
    return d.writeTakesAll &&
           (d.answer == Answer::accepts || (d.answer == Answer::refusesGp0 && !isSwitch(report)));
}

std::vector<std::size_t> chosen(bool (*test)(const FuzzDevice&)) {
    std::vector<std::size_t> picked;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (test(devices[i])) {
            picked.push_back(i);
        }
    }
    return picked;
}

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::u16string text() {
        const std::uint8_t kind = byte();
        switch (kind % 6) {
            case 0:
                return kUnit;
            case 1:
                return kUnit + u" ";
            case 2:
                return kUnit.substr(0, 17);
            case 3:
                return kUnit + std::u16string(1, u'\0') + u"X";
            default: {
                std::u16string units((kind / 6) % 2 == 0 ? 300 : byte() % 40, u'P');
                for (char16_t& unit : units) {
                    unit = static_cast<char16_t>(byte() | byte() << 8);
                }
                return units;
            }
        }
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    devices.assign(in.byte() % 6, FuzzDevice{});
    for (FuzzDevice& d : devices) {
        const std::uint8_t flags = in.byte();
        d.openable = (flags & 0x01) == 0;
        d.idsReadable = (flags & 0x02) == 0;
        d.manufacturerReadable = (flags & 0x04) == 0;
        d.productReadable = (flags & 0x08) == 0;
        d.writeTakesAll = (flags & 0x10) == 0;
        d.opensLeft = (flags >> 6) == 0 ? -1 : flags >> 6;
        if (flags & 0x20) {
            d.vendorId = static_cast<std::uint16_t>(in.byte() | in.byte() << 8);
            d.productId = static_cast<std::uint16_t>(in.byte() | in.byte() << 8);
        }
        d.manufacturer = in.text();
        d.product = in.text();
        const std::uint8_t answer = in.byte();
        d.answer = static_cast<Answer>((answer & 0x07) % 6);
        d.foreignReplies = (answer >> 3) & 0x03;
        d.foreignSwitchFirst = (answer & 0x20) != 0;
        d.detail = in.byte();
        d.noise.resize(answer >> 6);
        for (auto& [index, value] : d.noise) {
            index = in.byte();
            value = in.byte();
        }
    }
    const std::uint8_t call = in.byte() % 5;
    const std::uint32_t number = in.byte() % 8;
    const std::uint32_t state = in.byte() | in.byte() << 8;

    // The model judges the devices as they were before the call unplugged any.
    const std::vector<FuzzDevice> model = devices;
    const std::vector<std::size_t> chips = chosen(isChip);
    const std::vector<std::size_t> units = chosen(isUnit);
    std::vector<std::vector<zorvex::HidReport>> expected(devices.size());
    switch (call) {
        case 0:
            check(getMcp2221aNum() == chips.size());
            break;
        case 1:
            check(getZorvexNum() == units.size());
            break;
        case 2: {
            zorvex::Text manufacturer(u"kept");
            zorvex::Text product(u"kept too");
            const bool answered = getMcp2221aInfo(number, manufacturer, product);
            check(answered == (number < chips.size() && opens(model[chips[number]], 2)));
            const FuzzDevice* d = answered ? &model[chips[number]] : nullptr;
            check(manufacturer.view() ==
                  (d && d->manufacturerReadable ? seen(d->manufacturer) : u"kept"));
            check(product.view() == (d && d->productReadable ? seen(d->product) : u"kept too"));
            break;
        }
        case 3: {
            const bool done = setMcp2221aForZorvex(number);
            if (number < chips.size()) {
                const FuzzDevice& d = model[chips[number]];
                check(done == (opens(d, 3) && confirms(d, productReport()) &&
                               confirms(d, settingsReport())));
                for (const auto& [step, sent] :
                     {std::pair{2, productReport()}, std::pair{3, settingsReport()}}) {
                    if (opens(d, step)) {
                        expected[chips[number]].push_back(sent);
                    }
                }
            } else {
                check(!done);
            }
            break;
        }
        default: {
            const bool done = switchZorvex(number, state);
            const zorvex::HidReport report = switchReport(static_cast<std::uint8_t>(state));
            if (number < units.size()) {
                const FuzzDevice& d = model[units[number]];
                check(done == (opens(d, 3) && confirms(d, report)));
                if (opens(d, 3)) {
                    expected[units[number]] = {report};
                }
            } else {
                check(!done);
            }
        }
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        check(devices[i].openHandles == 0);
        check(devices[i].received == expected[i]);
    }
    return 0;
}
