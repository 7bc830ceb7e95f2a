// zorvex_umockdev [--chip-group GROUP] SCENARIO -- PROGRAM [ARGUMENT...]
//
// Runs PROGRAM on a umockdev testbed whose sysfs tree and hidraw nodes are
// the scenario file's devices, shaped as a Linux kernel shows USB HID
// devices, so that the hardware library meets the emulated chips through
// Debian's own hidapi and libudev. The chips read and write the scenario
// file as in every other chip set. A scenario that cannot be read is a
// machine with nothing attached. Nodes are root's, mode 0600, as Linux
// makes them; with --chip-group, an MCP2221A's are also GROUP's, mode 0660,
// as the package's udev rule makes them. Exits with PROGRAM's exit code.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hidraw_node.h"
#include "scenario/scenario_store.h"
#include "seam/linux/hid_sysfs.h"
#include "usb_sysfs.h"

namespace {

using namespace zorvex;

struct TestbedFree {
    void operator()(UMockdevTestbed* testbed) const { g_object_unref(testbed); }
};
using Testbed = std::unique_ptr<UMockdevTestbed, TestbedFree>;

int fail(const std::string& problem) {
    std::fprintf(stderr, "zorvex_umockdev: %s\n", problem.c_str());
    return 2;
}

std::string rootOf(UMockdevTestbed* testbed) {
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    std::string path = root;
    g_free(root);
    return path;
}

bool addDevices(UMockdevTestbed* testbed, const std::string& root, test::ChipNodes& set,
                std::string& problem) {
    const auto scenario = sim::loadScenario(set.scenario);
    if (!scenario) {
        return true;
    }
    const std::vector<sim::SimChip>& chips = scenario->devices.chips;
    for (std::size_t i = 0; i < chips.size(); ++i) {
        if (!chips[i].present) {
            continue;  // its number stays unused, as a kernel's may
        }
        if (!chips[i].port.empty() && !platform::isUsbPortPath(chips[i].port)) {
            problem = "device " + std::to_string(i) + ": port \"" + chips[i].port +
                      "\" is no USB port path (such as 1-1.4)";
            return false;
        }
        test::HidrawFacts facts;
        const std::vector<test::SysfsDevice> devices =
            test::describeDevice(chips[i], i, chips.size(), facts);
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed, test::umockdevRecord(devices).c_str(),
                                              &error)) {
            problem = std::string("umockdev: ") + (error ? error->message : "?");
            g_clear_error(&error);
            return false;
        }
        // The uevent files exactly as the kernel writes them.
        for (test::SysfsDevice device : devices) {
            umockdev_testbed_set_attribute_binary(testbed, ("/sys" + device.path).c_str(), "uevent",
                                                  reinterpret_cast<guint8*>(device.uevent.data()),
                                                  static_cast<gint>(device.uevent.size()));
        }
        const bool made = chips[i].openable ? test::serveNode(testbed, root, set, i, facts, problem)
                                            : test::makeClosedNode(root, i, problem);
        if (!made) {
            return false;
        }
    }
    return true;
}

// The program sees the testbed through umockdev's preload. A sanitizer
// runtime would otherwise insist on being loaded first.
void prepareChildEnvironment() {
    const char* preload = std::getenv("LD_PRELOAD");
    std::string libraries = "libumockdev-preload.so.0";
    if (preload != nullptr && *preload != '\0') {
        libraries += std::string(":") + preload;
    }
    setenv("LD_PRELOAD", libraries.c_str(), 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
    setenv("ASAN_OPTIONS", (options + "verify_asan_link_order=0").c_str(), 1);
}

int runProgram(char** argv) {
    const pid_t child = fork();
    if (child < 0) {
        return fail(std::string("fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        prepareChildEnvironment();
        execvp(argv[0], argv);
        std::fprintf(stderr, "zorvex_umockdev: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A machine's /sys and /dev are everyone's to look in, and an ioctl on a
// node one could open needs no more right: the testbed's folder and
// umockdev's sockets are opened up to match, so that a program of another
// user meets only the nodes' own owner and mode.
void openUpTestbed(const std::string& root) {
    chmod(root.c_str(), 0755);
    std::error_code error;
    for (auto entry = std::filesystem::recursive_directory_iterator(root + "/ioctl", error);
         !error && entry != std::filesystem::recursive_directory_iterator();
         entry.increment(error)) {
        if (entry->is_socket(error)) {
            chmod(entry->path().c_str(), 0666);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Made before the testbed, so that it goes after it (see stopServing).
    test::ChipNodes set;
    if (argc > 2 && std::strcmp(argv[1], "--chip-group") == 0) {
        const group* found = getgrnam(argv[2]);
        if (found == nullptr) {
            return fail(std::string("no group ") + argv[2]);
        }
        set.chipGroup = static_cast<long>(found->gr_gid);
        argc -= 2;
        argv += 2;
    }
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fputs(
            "usage: zorvex_umockdev [--chip-group GROUP] SCENARIO -- PROGRAM [ARGUMENT...]\n",
            stderr);
        return 2;
    }
    // On tmpfs a testbed costs some 30 ms; on a disk, about a second.
    if (access("/dev/shm", W_OK) == 0) {
        setenv("TMPDIR", "/dev/shm", 1);
    }
    // umockdev's testbed starts its worker thread, which reads the
    // environment, before it sets UMOCKDEV_DIR: a variable new to the
    // environment would move the whole environment under that thread's feet
    // (a crash in its getenv, seen once in about two thousand starts). A variable
    // that is already there only has its value replaced.
    setenv("UMOCKDEV_DIR", "", 1);
    const Testbed testbed(umockdev_testbed_new());
    set.scenario = argv[1];
    std::string problem;
    const std::string root = rootOf(testbed.get());
    if (!addDevices(testbed.get(), root, set, problem)) {
        return fail(problem);
    }
    openUpTestbed(root);
    const int exitCode = runProgram(argv + 3);
    // A program that left a child holding a node open leaves the nodes
    // served until the process ends.
    if (test::waitUntilClosed(set, std::chrono::seconds(2))) {
        test::stopServing(testbed.get(), set);
    } else {
        std::fputs("zorvex_umockdev: a node is still open\n", stderr);
        std::fflush(stderr);
        _exit(exitCode);
    }
    return exitCode;
}
