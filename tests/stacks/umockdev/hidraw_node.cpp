#include "hidraw_node.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <pty.h>
#include <stdio.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "mcp2221a/protocol.h"
#include "mcp2221a/report_descriptor.h"

namespace zorvex::test {

namespace {

// hidraw's ring of HIDRAW_BUFFER_SIZE entries holds one fewer; a report
// that finds it full is dropped for that open.
constexpr std::size_t kQueuedReports = 63;
// hidraw_send_report's bounds.
constexpr std::size_t kMaxWrite = 16384;  // HID_MAX_BUFFER_SIZE
constexpr std::size_t kMinWrite = 2;
constexpr std::size_t kPacketBytes = mcp2221a::kReportBytes;  // the chip's interrupt-out packet
constexpr char kMarker = 1;

std::unique_ptr<Terminal> openTerminal(std::string& problem) {
    auto terminal = std::make_unique<Terminal>();
    int slave = -1;
    char name[256] = {};
    if (openpty(&terminal->master, &slave, name, nullptr, nullptr) != 0) {
        problem = std::string("openpty: ") + std::strerror(errno);
        return nullptr;
    }
    termios settings{};
    tcgetattr(terminal->master, &settings);
    cfmakeraw(&settings);
    tcsetattr(terminal->master, TCSANOW, &settings);
    fcntl(terminal->master, F_SETFD, FD_CLOEXEC);
    close(slave);
    terminal->slave = name;
    return terminal;
}

// Whether a program has the terminal's slave side open: until then (and
// once all have closed it) its master reports a hang-up.
bool slaveIsOpen(const Terminal& terminal) {
    pollfd watched{terminal.master, POLLIN, 0};
    return poll(&watched, 1, 0) >= 0 && (watched.revents & POLLHUP) == 0;
}

// Points the node at a new spare terminal, in one rename.
bool offerSpare(HidrawNode& node, std::string& problem) {
    node.spare = openTerminal(problem);
    if (!node.spare) {
        return false;
    }
    // The node's owner and mode are the terminal's: root's alone, or with
    // the rule's group.
    const bool allowed =
        node.group < 0 ? chmod(node.spare->slave.c_str(), 0600) == 0
                       : chown(node.spare->slave.c_str(), 0, static_cast<gid_t>(node.group)) == 0 &&
                             chmod(node.spare->slave.c_str(), 0660) == 0;
    if (!allowed && geteuid() == 0) {
        problem = "cannot set the owner of " + node.spare->slave + ": " + std::strerror(errno);
        return false;
    }
    const std::string next = node.link + ".next";
    unlink(next.c_str());
    if (symlink(node.spare->slave.c_str(), next.c_str()) != 0 ||
        rename(next.c_str(), node.link.c_str()) != 0) {
        problem =
            "cannot point " + node.link + " at " + node.spare->slave + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

NodeOpen* openOf(HidrawNode& node, UMockdevIoctlClient* client) {
    for (NodeOpen& open : node.opens) {
        if (open.client == client) {
            return &open;
        }
    }
    return nullptr;
}

// Makes the terminal readable exactly while one of its opens has a report.
void updateMarker(HidrawNode& node, Terminal& terminal) {
    const bool wanted = std::any_of(node.opens.begin(), node.opens.end(), [&](const NodeOpen& o) {
        return o.terminal == &terminal && !o.queue.empty();
    });
    if (wanted && !terminal.marked) {
        terminal.marked = write(terminal.master, &kMarker, 1) == 1;
    } else if (!wanted && terminal.marked) {
        // The byte went in through the master moments ago at most.
        pollfd watched{terminal.drain, POLLIN, 0};
        char byte = 0;
        if (poll(&watched, 1, 1000) == 1 && read(terminal.drain, &byte, 1) == 1) {
            terminal.marked = false;
        }
    }
}

void finishRead(NodeOpen& open, const InputReport& report) {
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(open.client);
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::size_t>(buffer->data_len), report.size());
    std::memcpy(buffer->data, report.data(), length);
    umockdev_ioctl_client_complete(open.client, static_cast<glong>(length), 0);
}

// A report the chip sent: every open of the node gets it.
void deliverInput(HidrawNode& node, const InputReport& report) {
    for (NodeOpen& open : node.opens) {
        if (open.readPending) {
            open.readPending = false;
            finishRead(open, report);
        } else if (open.queue.size() < kQueuedReports) {
            open.queue.push_back(report);
        }
    }
    for (const auto& terminal : node.taken) {
        updateMarker(node, *terminal);
    }
}

// Forgets the opens whose program has closed them. umockdev 0.17 emits
// neither its handler's client-vanished nor a change of the client's
// "connected": a closed open is one whose connection is closed.
void forgetClosed(HidrawNode& node) {
    for (std::size_t i = node.opens.size(); i-- > 0;) {
        if (umockdev_ioctl_client_get_connected(node.opens[i].client)) {
            continue;
        }
        Terminal* terminal = node.opens[i].terminal;
        g_object_unref(node.opens[i].client);
        node.opens.erase(node.opens.begin() + static_cast<std::ptrdiff_t>(i));
        --node.set->opens;
        const bool used = std::any_of(node.opens.begin(), node.opens.end(),
                                      [&](const NodeOpen& o) { return o.terminal == terminal; });
        if (!used) {
            node.taken.erase(std::remove_if(node.taken.begin(), node.taken.end(),
                                            [&](const auto& t) { return t.get() == terminal; }),
                             node.taken.end());
        }
    }
}

void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<HidrawNode*>(data);
    const std::lock_guard<std::mutex> hold(node.set->lock);
    if (node.set->stopped) {
        return;  // an open that failed, whose connection came after the end
    }
    forgetClosed(node);
    NodeOpen open;
    open.client = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
    std::string problem;
    if (node.spare && slaveIsOpen(*node.spare)) {
        Terminal& terminal = *node.spare;
        terminal.drain = ::open(terminal.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        node.taken.push_back(std::move(node.spare));
        open.terminal = &terminal;
        if (!offerSpare(node, problem)) {
            std::fprintf(stderr, "zorvex_umockdev: %s\n", problem.c_str());
        }
    } else if (!node.taken.empty()) {
        // Two programs opened the spare at the same moment: they share it,
        // and each sees the terminal readable while either has a report.
        open.terminal = node.taken.back().get();
    }
    node.opens.push_back(std::move(open));
    ++node.set->opens;
}

// Under the set's lock, before a read or write: once serving has stopped,
// fails the request and says so.
bool stillServing(HidrawNode& node, UMockdevIoctlClient* client) {
    if (node.set->stopped) {
        umockdev_ioctl_client_complete(client, -1, EIO);
        return false;
    }
    forgetClosed(node);
    return true;
}

gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<HidrawNode*>(data);
    const std::lock_guard<std::mutex> hold(node.set->lock);
    if (!stillServing(node, client)) {
        return TRUE;
    }
    NodeOpen* open = openOf(node, client);
    if (open == nullptr) {
        umockdev_ioctl_client_complete(client, -1, EIO);
    } else if (open->queue.empty()) {
        // A blocking read waits for the chip's next report.
        open->readPending = true;
    } else {
        const InputReport report = open->queue.front();
        open->queue.pop_front();
        if (open->terminal != nullptr) {
            updateMarker(node, *open->terminal);
        }
        finishRead(*open, report);
    }
    return TRUE;
}

gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<HidrawNode*>(data);
    const std::lock_guard<std::mutex> hold(node.set->lock);
    if (!stillServing(node, client)) {
        return TRUE;
    }
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const auto count = static_cast<std::size_t>(buffer->data_len);
    if (count < kMinWrite || count > kMaxWrite) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    // usbhid leaves report ID 0 out and sends the rest as one transfer;
    // the chip takes each packet as a command, a short one zero-filled.
    const std::uint8_t* payload = buffer->data + (buffer->data[0] == 0 ? 1 : 0);
    std::size_t left = count - (buffer->data[0] == 0 ? 1 : 0);
    while (left > 0) {
        HidReport report{};
        const std::size_t length = std::min(left, kPacketBytes);
        std::memcpy(report.data() + 1, payload, length);
        payload += length;
        left -= length;
        const sim::Delivery delivery =
            sim::deliverReport(node.set->scenario, node.index, report, &node.cache);
        if (delivery.reply) {
            InputReport input{};
            std::copy(delivery.reply->begin() + 1, delivery.reply->end(), input.begin());
            deliverInput(node, input);
        }
    }
    umockdev_ioctl_client_complete(client, static_cast<glong>(count), 0);
    return TRUE;
}

// Copies `bytes` to the ioctl's buffer of `length` bytes at the client.
// False when the client passed no buffer.
bool answer(UMockdevIoctlClient* client, std::size_t length, const void* bytes) {
    GError* error = nullptr;
    UMockdevIoctlData* target =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, length, &error);
    if (target == nullptr) {
        g_clear_error(&error);
        return false;
    }
    std::memcpy(target->data, bytes, length);
    g_object_unref(target);
    return true;
}

// A string ioctl: the text and its zero, cut to the size the request names.
void answerText(UMockdevIoctlClient* client, unsigned long request, const std::string& text) {
    const std::size_t length = std::min<std::size_t>(text.size() + 1, _IOC_SIZE(request));
    if (answer(client, length, text.c_str())) {
        umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
    } else {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
    }
}

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& node = *static_cast<HidrawNode*>(data);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const auto descriptorSize = static_cast<int>(sizeof mcp2221a::kReportDescriptor);
    const auto fail = [&](int error) { umockdev_ioctl_client_complete(client, -1, error); };
    const auto done = [&](bool answered) {
        answered ? umockdev_ioctl_client_complete(client, 0, 0) : fail(EFAULT);
    };
    if (request == HIDIOCGRDESCSIZE) {
        done(answer(client, sizeof descriptorSize, &descriptorSize));
    } else if (request == HIDIOCGRDESC) {
        GError* error = nullptr;
        UMockdevIoctlData* target = umockdev_ioctl_data_resolve(
            umockdev_ioctl_client_get_arg(client), 0, sizeof(hidraw_report_descriptor), &error);
        if (target == nullptr) {
            g_clear_error(&error);
            fail(EFAULT);
            return TRUE;
        }
        auto* descriptor = reinterpret_cast<hidraw_report_descriptor*>(target->data);
        if (descriptor->size > HID_MAX_DESCRIPTOR_SIZE - 1) {
            g_object_unref(target);
            fail(EINVAL);
            return TRUE;
        }
        std::memcpy(descriptor->value, mcp2221a::kReportDescriptor,
                    std::min<std::size_t>(descriptor->size, descriptorSize));
        g_object_unref(target);
        umockdev_ioctl_client_complete(client, 0, 0);
    } else if (request == HIDIOCGRAWINFO) {
        hidraw_devinfo info{};
        info.bustype = node.facts.bus;
        info.vendor = static_cast<__s16>(node.facts.vendorId);
        info.product = static_cast<__s16>(node.facts.productId);
        done(answer(client, sizeof info, &info));
    } else if (_IOC_TYPE(request) != 'H') {
        fail(EINVAL);
    } else if (_IOC_NR(request) == _IOC_NR(HIDIOCSFEATURE(0)) ||
               _IOC_NR(request) == _IOC_NR(HIDIOCGFEATURE(0)) ||
               (_IOC_NR(request) >= 0x09 && _IOC_NR(request) <= 0x0C)) {
        // Feature, input and output reports by control request: the chip
        // declares none to be asked for, and stalls the request.
        fail(EPIPE);
    } else if (_IOC_DIR(request) != _IOC_READ) {
        fail(EINVAL);
    } else if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0))) {
        answerText(client, request, node.facts.name);
    } else if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWPHYS(0))) {
        answerText(client, request, node.facts.phys);
    } else if (_IOC_NR(request) == 0x08) {  // HIDIOCGRAWUNIQ
        answerText(client, request, node.facts.uniq);
    } else {
        fail(ENOTTY);
    }
    return TRUE;
}

}  // namespace

Terminal::~Terminal() {
    if (drain >= 0) {
        close(drain);
    }
    if (master >= 0) {
        close(master);
    }
}

bool serveNode(UMockdevTestbed* testbed, const std::string& root, ChipNodes& set, std::size_t index,
               const HidrawFacts& facts, std::string& problem) {
    auto node = std::make_unique<HidrawNode>();
    node->set = &set;
    node->index = index;
    node->facts = facts;
    node->group = facts.vendorId == mcp2221a::kVendorId && facts.productId == mcp2221a::kProductId
                      ? set.chipGroup
                      : -1;
    const std::string name = "/dev/hidraw" + std::to_string(index);
    node->link = root + name;
    mkdir((root + "/dev").c_str(), 0755);
    if (!offerSpare(*node, problem)) {
        return false;
    }
    node->handler = umockdev_ioctl_base_new();
    g_signal_connect(node->handler, "client-connected", G_CALLBACK(onConnected), node.get());
    g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(onIoctl), node.get());
    g_signal_connect(node->handler, "handle-read", G_CALLBACK(onRead), node.get());
    g_signal_connect(node->handler, "handle-write", G_CALLBACK(onWrite), node.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, name.c_str(), node->handler, &error)) {
        problem = "cannot serve " + name + ": " + (error ? error->message : "?");
        g_clear_error(&error);
        g_object_unref(node->handler);
        return false;
    }
    const std::lock_guard<std::mutex> hold(set.lock);
    set.nodes.push_back(std::move(node));
    return true;
}

bool makeClosedNode(const std::string& root, std::size_t index, std::string& problem) {
    mkdir((root + "/dev").c_str(), 0755);
    const std::string path = root + "/dev/hidraw" + std::to_string(index);
    // open() refuses a socket with ENXIO, root included.
    if (mknod(path.c_str(), S_IFSOCK, 0) != 0 || chmod(path.c_str(), 0) != 0) {
        problem = "cannot make " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool waitUntilClosed(ChipNodes& set, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            const std::lock_guard<std::mutex> hold(set.lock);
            for (const auto& node : set.nodes) {
                forgetClosed(*node);
            }
            if (set.opens == 0) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void stopServing(UMockdevTestbed* testbed, ChipNodes& set) {
    {
        const std::lock_guard<std::mutex> hold(set.lock);
        set.stopped = true;
    }
    // umockdev's thread may be about to run a handler still (a connection
    // accepted late): the nodes stay, and the handler finds the set stopped.
    for (const auto& node : set.nodes) {
        g_signal_handlers_disconnect_by_data(node->handler, node.get());
        const std::string name = "/dev/hidraw" + std::to_string(node->index);
        umockdev_testbed_detach_ioctl(testbed, name.c_str(), nullptr);
        g_object_unref(node->handler);
        node->handler = nullptr;
    }
}

}  // namespace zorvex::test
