// /dev/hidrawN of a umockdev testbed, answering as the kernel's hidraw
// driver does for a chip on hid-generic, through umockdev's ioctl handler
// (its preload hands each open's ioctls, reads and writes to this process):
//
// - the ioctls HIDIOCGRDESCSIZE, HIDIOCGRDESC, HIDIOCGRAWINFO,
//   HIDIOCGRAWNAME, HIDIOCGRAWPHYS and HIDIOCGRAWUNIQ;
// - a write goes out as usbhid sends it: report ID 0 dropped, the rest in
//   64-byte packets, each one report to the emulated chip;
// - each open has its own queue of input reports, as hidraw keeps one per
//   open file: every reply the chip sends is queued for every open at that
//   moment, and a read takes one report (cut to the read's size);
// - poll and select see exactly that queue: each open is a pseudo-terminal
//   of its own, holding one byte while its queue has a report.
//
// umockdev does not hand poll to the handler, hence the terminals: the
// node is a symlink to a spare one, which the next open takes; this
// process then points the node at a new spare. It learns of an open when
// the open's first request comes (hidapi makes one as it opens), so two
// programs opening the node in the same instant share a terminal, and
// each sees it readable while either has a report.
#ifndef ZORVEX_TESTS_UMOCKDEV_HIDRAW_NODE_H
#define ZORVEX_TESTS_UMOCKDEV_HIDRAW_NODE_H

#include <umockdev.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scenario/scenario_delivery.h"
#include "scenario/scenario_store.h"
#include "usb_sysfs.h"

namespace zorvex::test {

using InputReport = std::array<std::uint8_t, zorvex::mcp2221a::kReportBytes>;

// One pseudo-terminal: this process holds its master, and its own open of
// the slave side to take the marker byte back.
struct Terminal {
    int master = -1;
    int drain = -1;
    std::string slave;
    bool marked = false;
    Terminal() = default;
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
};

struct NodeOpen {
    UMockdevIoctlClient* client = nullptr;
    Terminal* terminal = nullptr;
    std::deque<InputReport> queue;
    bool readPending = false;
};

struct ChipNodes;

struct HidrawNode {
    ChipNodes* set = nullptr;
    std::size_t index = 0;
    long group = -1;   // see ChipNodes::chipGroup
    std::string link;  // the node in the testbed
    HidrawFacts facts;
    std::unique_ptr<Terminal> spare;
    std::vector<std::unique_ptr<Terminal>> taken;
    std::vector<NodeOpen> opens;
    sim::CachedScenario cache;
    UMockdevIoctlBase* handler = nullptr;
};

// Every node of one testbed. umockdev runs the handlers on a thread of its
// own; `lock` guards everything here.
struct ChipNodes {
    std::string scenario;
    // The group that MCP2221A nodes are root's and its, read and write, as
    // the package's udev rule makes them; -1: root's own, as without it.
    long chipGroup = -1;
    std::mutex lock;
    bool stopped = false;  // served no more
    std::size_t opens = 0;
    std::vector<std::unique_ptr<HidrawNode>> nodes;
};

// Makes /dev/hidraw<index> in the testbed rooted at `root` and serves it.
// False, with `problem` saying why, when that failed.
bool serveNode(UMockdevTestbed* testbed, const std::string& root, ChipNodes& set, std::size_t index,
               const HidrawFacts& facts, std::string& problem);

// Makes /dev/hidraw<index> a node nobody may open: one with no permissions
// (what a user without the udev rule meets), and of a kind that root
// cannot open either.
bool makeClosedNode(const std::string& root, std::size_t index, std::string& problem);

// Waits until no node is open (the program under test has ended) or
// `limit` has passed; true when none is.
bool waitUntilClosed(ChipNodes& set, std::chrono::milliseconds limit);

// Stops serving; nothing may be open any more. The nodes are kept until
// `set` goes, which must be after the testbed.
void stopServing(UMockdevTestbed* testbed, ChipNodes& set);

}  // namespace zorvex::test

#endif
