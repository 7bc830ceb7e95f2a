// zorvex_cui as users run it: a separate process beside its library, its
// standard output compared byte for byte (Shift-JIS included).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <chrono>
#include <random>
#include <thread>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "console_run.h"
#include "expected_reports.h"
#include "scenario/scenario_lock.h"
#include "scenario/scenario_store.h"
#include "temporary_file.h"

namespace zorvex::test {
namespace {

namespace fs = std::filesystem;

// The seven usage lines in code page 932, the Japanese spelled out above each.
const std::string kUsage =
    // zorvex_cui.exe [no] [option] ... zorvex を制御する
    "zorvex_cui.exe [no] [option] ... zorvex \x82\xf0\x90\xa7\x8c\xe4\x82\xb7\x82\xe9\n"
    "[option]\n"
    //    -mcplist : 接続されている Mcp2221a の情報を表示する
    "   -mcplist : \x90\xda\x91\xb1\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xe9 Mcp2221a "
    "\x82\xcc\x8f\xee\x95\xf1\x82\xf0\x95\x5c\x8e\xa6\x82\xb7\x82\xe9\n"
    //    -zorvexnum  : 接続されている Zorvex の数を表示する
    "   -zorvexnum  : \x90\xda\x91\xb1\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xe9 Zorvex "
    "\x82\xcc\x90\x94\x82\xf0\x95\x5c\x8e\xa6\x82\xb7\x82\xe9\n"
    //    -set     : [no] で指定した Mcp2221a を Zorvex 用に設定する
    "   -set     : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Mcp2221a \x82\xf0 Zorvex "
    "\x97p\x82\xc9\x90\xdd\x92\xe8\x82\xb7\x82\xe9\n"
    //    -on      : [no] で指定した Zorvex を ON する
    "   -on      : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Zorvex \x82\xf0 ON \x82\xb7\x82\xe9\n"
    //    -off     : [no] で指定した Zorvex を OFF する
    "   -off     : [no] \x82\xc5\x8ew\x92\xe8\x82\xb5\x82\xbd Zorvex \x82\xf0 OFF "
    "\x82\xb7\x82\xe9\n";

// "<name> が見つかりません" (is not found).
std::string notFound(const std::string& name) {
    return name + " \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\n";
}

const char* const kThreeChips = R"({"devices": [
    {"vendorId": 1240, "productId": 221, "manufacturer": "Microchip Technology Inc.",
     "product": "MCP2221 USB-I2C/UART Combo"},
    {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
     "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]},
    {"vendorId": 1133, "productId": 50475, "product": "USB Keyboard"},
    {"vendorId": 1240, "productId": 221, "manufacturer": "Other", "product": "Plain"}
]})";

// A copy of `console` in `folder` with the DLLs beside it but its zorvex.dll,
// and `library` as zorvex.dll when given.
fs::path copyConsole(const fs::path& console, const fs::path& folder, const fs::path& library) {
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(console.parent_path())) {
        const fs::path name = entry.path().filename();
        if (name == console.filename() ||
            (entry.path().extension() == ".dll" && name != "zorvex.dll")) {
            fs::copy_file(entry.path(), folder / name, fs::copy_options::overwrite_existing);
        }
    }
    if (!library.empty()) {
        fs::copy_file(library, folder / "zorvex.dll", fs::copy_options::overwrite_existing);
    }
    return folder / console.filename();
}

// A fresh folder for one test, removed with everything in it at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name)
        : path_(fs::temp_directory_path() /
                ("zorvex-" + name + "-" + std::to_string(std::random_device{}()))) {}
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

class ConsoleFixture : public ::testing::Test {
  protected:
    // Runs the console; every run must end with exit code 0, and where the
    // stand-ins watch, leave no handle, event or device list open and make
    // no call Windows would refuse.
    std::string run(const std::vector<std::string>& arguments, const std::string& scenario = "",
                    const fs::path& console = {}) {
        const ConsoleRun result =
            runConsole(console.empty() ? console_ : console, arguments, scenario);
        EXPECT_EQ(result.exitCode, 0) << "arguments: " << testing::PrintToString(arguments);
        if (standinsReport_ && !scenario.empty()) {
            expectCleanFindings(scenario, arguments);
        }
        return result.output;
    }
    static void expectCleanFindings(const std::string& scenario,
                                    const std::vector<std::string>& arguments) {
        const auto loaded = sim::loadScenario(scenario);
        ASSERT_TRUE(loaded);
        const nlohmann::json findings = loaded->document.value("winefake", nlohmann::json());
        SCOPED_TRACE("arguments: " + testing::PrintToString(arguments) + ", " + findings.dump());
        ASSERT_TRUE(findings.is_object());
        EXPECT_EQ(findings["handlesLeftOpen"], 0);
        EXPECT_EQ(findings["eventsLeftOpen"], 0);
        EXPECT_EQ(findings["setsLeftOpen"], 0);
        EXPECT_TRUE(findings["violations"].empty());
    }
    static sim::SimChip chipIn(const TemporaryFile& file, std::size_t index) {
        return sim::loadScenario(file.path()).value().devices.chips.at(index);
    }
    // Device `index` received exactly `expected`, where the library's
    // reports reach it as written. Where Linux's hid_mcp2221 holds it, the
    // driver sends its own (its probe, reads of the pins, a switch as two
    // reports) and lets no flash write pass: there it received no flash
    // write, and nothing that switches unless `expected` switches; the
    // state checks beside each call say what the switches did.
    static void expectSent(const TemporaryFile& file, std::size_t index,
                           const std::vector<std::string>& expected) {
        const std::vector<std::string> received = chipIn(file, index).received;
        if (!heldByKernelDriver()) {
            EXPECT_EQ(received, expected) << "device " << index;
            return;
        }
        const auto command = [](const std::string& report) { return report.substr(2, 2); };
        const bool switches = std::any_of(expected.begin(), expected.end(), [&](const auto& r) {
            return command(r) == command(kSetGp0OnReport);
        });
        for (const std::string& report : received) {
            EXPECT_NE(command(report), command(kWriteProductStringReport)) << "device " << index;
            if (!switches) {
                EXPECT_NE(command(report), command(kSetGp0OnReport)) << "device " << index;
            }
        }
    }
    // A copy of the console in a fresh folder, with `library` beside it when given.
    fs::path consoleCopyIn(const fs::path& folder, const fs::path& library = {}) {
        return copyConsole(console_, folder, library);
    }
    fs::path libraryBesideConsole() const { return console_.parent_path() / "zorvex.dll"; }

    fs::path console_;
    bool standinsReport_ = false;
};

// The console under test: by default the one beside the simulated library;
// CTest runs the suite again with the hardware library on emulated chips.
class ConsoleTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        console_ = consoleUnderTest();
        standinsReport_ = standinsReport();
        ASSERT_FALSE(console_.empty());
    }
};

TEST_F(ConsoleTest, WithoutChipsCountsAreZeroAndAnythingElseShowsUsage) {
    EXPECT_EQ(run({}), lines(kUsage));
    EXPECT_EQ(run({"-mcplist"}), lines("Found Mcp2221a ... 0 unit.\n"));
    EXPECT_EQ(run({"-zorvexnum"}), lines("Found Zorvex ... 0 unit.\n"));
    EXPECT_EQ(run({"-ON"}), lines(kUsage));
    EXPECT_EQ(run({""}), lines(kUsage));
    EXPECT_EQ(run({" "}), lines(kUsage));
    EXPECT_EQ(run({"3", "-help", "-mcplist"}), lines(kUsage));
    // Numbers alone do nothing, and say nothing.
    EXPECT_EQ(run({"5"}), "");
    EXPECT_EQ(run({"-1", "7x"}), "");
    EXPECT_EQ(run({"-on"}), "");
}

TEST_F(ConsoleTest, ListsChipsAndSwitchesTheUnitByItsUnitNumber) {
    TemporaryFile file(kThreeChips);
    EXPECT_EQ(run({"-mcplist"}, file.path()),
              lines("Found Mcp2221a ... 3 unit.\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[0]\n"
                    "  Manufacture = Microchip Technology Inc.\n"
                    "  Product     = MCP2221 USB-I2C/UART Combo\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[1]\n"
                    "  Manufacture = Maker\n"
                    "  Product     = DELOQ-72N SWITCHER\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[2]\n"
                    "  Manufacture = Other\n"
                    "  Product     = Plain\n"));
    EXPECT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 1 unit.\n"));

    EXPECT_EQ(run({"-on"}, file.path()), "");
    EXPECT_EQ(chipIn(file, 1).gpioOutput[0], 1);
    expectSent(file, 1, {kSetGp0OnReport});

    // "1 -on" asks for unit 1, which is not there: nothing is sent.
    EXPECT_EQ(run({"1", "-on"}, file.path()), "");
    // "-on 1": the option comes first, so unit 0; the 1 is never read.
    EXPECT_EQ(run({"-off", "1"}, file.path()), "");
    EXPECT_EQ(chipIn(file, 1).gpioOutput[0], 0);
    // The last number before the option counts: 1 then 0 means unit 0.
    EXPECT_EQ(run({"1", "0", "-on"}, file.path()), "");
    EXPECT_EQ(chipIn(file, 1).gpioOutput[0], 1);
    EXPECT_EQ(run({"0x", "-off"}, file.path()), "");

    expectSent(file, 1, {kSetGp0OnReport, kSetGp0OffReport, kSetGp0OnReport, kSetGp0OffReport});
    for (const std::size_t other : {0, 2, 3}) {
        expectSent(file, other, {});
    }
}

TEST_F(ConsoleTest, SetUpChipBecomesAUnitAfterAReplug) {
    if (heldByKernelDriver()) {
        GTEST_SKIP() << "no flash write passes hid_mcp2221: the chip cannot be set up there";
    }
    TemporaryFile file(kThreeChips);
    // Named a unit but with the factory's pin settings: GP0 is no GPIO, so
    // the chip refuses to switch until it has been set up and replugged.
    {
        auto scenario = sim::loadScenario(file.path()).value();
        scenario.devices.chips[3].product = u"DELOQ-72N SWITCHER";
        ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
    }
    EXPECT_EQ(run({"1", "-on"}, file.path()), "");
    expectSent(file, 3, {kSetGp0OnReport});
    EXPECT_EQ(chipIn(file, 3).gpioOutput[0], 0);

    EXPECT_EQ(run({"2", "-set"}, file.path()), "");
    EXPECT_EQ(chipIn(file, 3).received.size(), 3u);

    auto scenario = sim::loadScenario(file.path()).value();
    sim::replug(scenario.devices.chips[3]);
    ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
    EXPECT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 2 unit.\n"));
    EXPECT_EQ(run({"1", "-on"}, file.path()), "");
    EXPECT_EQ(chipIn(file, 3).gpioOutput[0], 1);
}

TEST_F(ConsoleTest, FaultyDevicesAreLeftOutOrRefuseWithoutAWord) {
#if defined(_WIN32)
    if (onWineHidStack()) {
        GTEST_SKIP() << "hidclass opens a device and reads its IDs itself: a minidriver "
                        "cannot make either fail (LockedAndNonGpioChipsRefuse runs there)";
    }
#else
    if (onRealKernel()) {
        GTEST_SKIP() << "the kernel opens a USB device and reads its IDs itself: a device "
                        "cannot make either fail (LockedAndNonGpioChipsRefuse runs there)";
    }
#endif
    // Chip numbers: the two closed devices are left out, so the locked chip
    // is chip 0 and the unit whose GP0 is not general-purpose I/O is chip 1.
    TemporaryFile file(R"({"devices": [
        {"vendorId": 1240, "productId": 221, "openable": false, "product": "DELOQ-72N SWITCHER"},
        {"vendorId": 1240, "productId": 221, "attributesReadable": false},
        {"vendorId": 1240, "productId": 221, "manufacturer": "Locked", "product": "Plain",
         "flashLocked": true},
        {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
         "product": "DELOQ-72N SWITCHER", "gpSettings": [1, 0, 0, 0]}
    ]})");
    EXPECT_EQ(run({"-mcplist"}, file.path()),
              lines("Found Mcp2221a ... 2 unit.\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[0]\n"
                    "  Manufacture = Locked\n"
                    "  Product     = Plain\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[1]\n"
                    "  Manufacture = Maker\n"
                    "  Product     = DELOQ-72N SWITCHER\n"));
    EXPECT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 1 unit.\n"));

    EXPECT_EQ(run({"0", "-set"}, file.path()), "");
    expectSent(file, 2, {kWriteProductStringReport, kWriteGpSettingsReport});
    EXPECT_EQ(chipIn(file, 2).flash.product, u"Plain");

    EXPECT_EQ(run({"-on"}, file.path()), "");
    expectSent(file, 3, {kSetGp0OnReport});
    EXPECT_EQ(chipIn(file, 3).gpioOutput[0], 0);
    for (const std::size_t closed : {0, 1}) {
        expectSent(file, closed, {});
    }
}

// The faults every chip set can make, without the devices of the test above
// that Wine's own HID stack cannot.
// A device that is not plugged in keeps its place in the file but is not
// there: the chips after it move up, and it comes back running from flash.
TEST_F(ConsoleTest, UnpluggedDevicesAreNotThereUntilPluggedInAgain) {
    TemporaryFile file(kThreeChips);
    {
        auto scenario = sim::loadScenario(file.path()).value();
        scenario.devices.chips[1].present = false;
        scenario.devices.chips[1].flash.product = u"Plain";
        ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
    }
    EXPECT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 0 unit.\n"));
    EXPECT_EQ(run({"-mcplist"}, file.path()).rfind(lines("Found Mcp2221a ... 2 unit.\n"), 0), 0u);
    EXPECT_EQ(run({"1", "-set"}, file.path()), "");
    expectSent(file, 1, {});
    expectSent(file, 3, {kWriteProductStringReport, kWriteGpSettingsReport});

    auto scenario = sim::loadScenario(file.path()).value();
    sim::replug(scenario.devices.chips[1]);
    scenario.devices.chips[1].present = true;
    ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
    EXPECT_EQ(run({"-mcplist"}, file.path()).rfind(lines("Found Mcp2221a ... 3 unit.\n"), 0), 0u);
    EXPECT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 0 unit.\n"));
}

TEST_F(ConsoleTest, LockedAndNonGpioChipsRefuseWithoutAWord) {
    TemporaryFile file(R"({"devices": [
        {"vendorId": 1240, "productId": 221, "manufacturer": "Locked", "product": "Plain",
         "flashLocked": true},
        {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
         "product": "DELOQ-72N SWITCHER", "gpSettings": [1, 0, 0, 0]}
    ]})");
    EXPECT_EQ(run({"0", "-set"}, file.path()), "");
    expectSent(file, 0, {kWriteProductStringReport, kWriteGpSettingsReport});
    EXPECT_EQ(chipIn(file, 0).flash.product, u"Plain");
    EXPECT_EQ(chipIn(file, 0).flash.gpSettings, sim::kFactoryGpSettings);

    EXPECT_EQ(run({"-on"}, file.path()), "");
    expectSent(file, 1, {kSetGp0OnReport});
    EXPECT_EQ(chipIn(file, 1).gpioOutput[0], 0);
}

TEST_F(ConsoleTest, InvalidScenarioMeansNoChipsAndIsNeverRewritten) {
    const std::string deep(100000, '[');
    const std::vector<std::string> invalid = {
        deep,
        R"({"devices": [{"vendorId": 1240, "productId": 221, "flash": )" + deep + "]}]}",
        R"({"devices": {"vendorId": 1240, "productId": 221}})",
        R"({"devices": [{"vendorId": 1e10, "productId": 221}]})",
        R"({"devices": [{"vendorId": 70000, "productId": 221}]})",
        R"({"devices": [{"vendorId": 1240, "productId": -35}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "gpSettings": [0, 0, 1e300, 0]}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "gpSettings": [0, 0, 17.0, 0]}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "product": 5}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "responds": "yes"}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "present": 1}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "port": "1-1/2"}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "port": "+"}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "port": ""}]})",
        R"({"devices": [{"vendorId": 1240, "productId": 221, "received": [1]}]})",
        R"({ devices: )",
    };
    for (const std::string& contents : invalid) {
        SCOPED_TRACE(contents.substr(0, 80));
        TemporaryFile file(contents);
        // The stand-ins cannot leave their findings in such a file either.
        for (const auto& arguments : std::vector<std::vector<std::string>>{
                 {"-mcplist"}, {"-on"}, {"0", "-set"}, {"-zorvexnum"}}) {
            const ConsoleRun result = runConsole(console_, arguments, file.path());
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_TRUE(result.output.empty() ||
                        result.output.find(" 0 unit.") != std::string::npos)
                << result.output;
        }
        EXPECT_EQ(file.contents(), contents);
    }
}

TEST_F(ConsoleTest, WriteBackKeepsTheFileAsItWasBesideTheReport) {
    if (heldByKernelDriver()) {
        GTEST_SKIP() << "hid_mcp2221's probe writes to every chip it takes";
    }
    std::string compact = kThreeChips;
    compact.erase(std::remove(compact.begin(), compact.end(), '\n'), compact.end());
    TemporaryFile file(compact);
    const nlohmann::json before = nlohmann::json::parse(compact);
    EXPECT_EQ(run({"-on"}, file.path()), "");

    const std::string after = file.contents();
    EXPECT_EQ(after.find('\n'), after.size() - 1) << "no longer on one line";
    nlohmann::json written = nlohmann::json::parse(after);
    for (const std::size_t other : {0, 2, 3}) {
        EXPECT_EQ(written["devices"][other], before["devices"][other]);
    }
    nlohmann::json unit = written["devices"][1];
    EXPECT_EQ(unit["received"], nlohmann::json::array({kSetGp0OnReport}));
    EXPECT_EQ(unit["gpioOutput"], nlohmann::json::array({1, 0, 0, 0}));
    unit.erase("received");
    unit.erase("gpioOutput");
    EXPECT_EQ(unit, before["devices"][1]);
}

TEST_F(ConsoleTest, ReadOnlyScenarioIsNotReplacedAndItsChipsDoNotAnswer) {
    TemporaryFile file(kThreeChips);
    fs::permissions(file.path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const ConsoleRun result = runConsole(console_, {"-on"}, file.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
    fs::permissions(file.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(file.contents(), kThreeChips);
}

#if !defined(_WIN32)
TEST_F(ConsoleTest, LinkedScenarioUpdatesItsTargetAndAFifoHoldsNoChips) {
    TemporaryFile target(kThreeChips);
    const fs::path link = target.path() + ".link";
    fs::create_symlink(target.path(), link);
    EXPECT_EQ(run({"-on"}, link.string()), "");
    EXPECT_TRUE(fs::is_symlink(link));
    expectSent(target, 1, {kSetGp0OnReport});
    EXPECT_EQ(chipIn(target, 1).gpioOutput[0], 1);
    fs::remove(link);

    const fs::path fifo = target.path() + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(run({"-mcplist"}, fifo.string()), lines("Found Mcp2221a ... 0 unit.\n"));
    fs::remove(fifo);
}

// Many consoles at once on one file: every report lands in it, and every
// listing shows the file as some writer left it, never half of it.
TEST_F(ConsoleTest, ConsolesSharingAFileLoseNoReport) {
    if (onRealKernel()) {
        GTEST_SKIP() << "each console would get USB devices of its own (zorvexd's tests share "
                        "one chip among programs there)";
    }
    TemporaryFile file(kThreeChips);
    const std::string listing = run({"-mcplist"}, file.path());
    const ScratchFolder scratch("concurrent");
    fs::create_directories(scratch.path());
    setenv("ZORVEX_SIM_DEVICES", file.path().c_str(), 1);
    constexpr int kRounds = 5;
    constexpr int kPerKind = 5;
    std::vector<std::string> on = consoleCommand(console_, {"0", "-on"}, file.path());
    std::vector<std::string> list = consoleCommand(console_, {"-mcplist"}, file.path());
    const auto argv = [](std::vector<std::string>& words) {
        std::vector<char*> pointers;
        for (std::string& word : words) {
            pointers.push_back(word.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    };
    std::vector<char*> onArgv = argv(on);
    std::vector<char*> listArgv = argv(list);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::pair<pid_t, fs::path>> children;
        for (int i = 0; i < 2 * kPerKind; ++i) {
            const fs::path output = scratch.path() / std::to_string(i);
            const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ASSERT_GE(fd, 0);
            char** command = i % 2 == 0 ? onArgv.data() : listArgv.data();
            const pid_t child = fork();
            if (child == 0) {
                dup2(fd, STDOUT_FILENO);
                execv(command[0], command);
                _exit(127);
            }
            close(fd);
            children.emplace_back(child, i % 2 == 0 ? fs::path() : output);
        }
        for (const auto& [child, output] : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            if (!output.empty()) {
                std::ifstream in(output, std::ios::binary);
                const std::string printed((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
                EXPECT_EQ(printed, listing);
            }
        }
    }
    unsetenv("ZORVEX_SIM_DEVICES");
    EXPECT_EQ(chipIn(file, 1).received.size(), std::size_t{kRounds * kPerKind});
}
#endif

TEST_F(ConsoleTest, SilentChipCostsAtMostTheReplyTimeout) {
    if (heldByKernelDriver()) {
        GTEST_SKIP() << "hid_mcp2221 bounds each of its exchanges itself, at 4 s";
    }
    // A run that waits for nothing, on this build and chip set: a sanitizer
    // and a testbed's preload alone take some 200 ms of it.
    TemporaryFile answering(R"({"devices": [{"vendorId": 1240, "productId": 221,
        "product": "DELOQ-72N SWITCHER"}]})");
    const auto unwaited = runConsole(console_, {"-on"}, answering.path()).elapsed;
    TemporaryFile file(R"({"devices": [{"vendorId": 1240, "productId": 221,
        "product": "DELOQ-72N SWITCHER", "responds": false}]})");
    const ConsoleRun result = runConsole(console_, {"-on"}, file.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
    // One reply wait of 1000 ms beyond that; a second wait would be 2000.
    EXPECT_LT(result.elapsed - unwaited, std::chrono::milliseconds(1500));
    expectSent(file, 0, {kSetGp0OnReport});
}

TEST_F(ConsoleTest, EveryLibraryCallEnumeratesOnce) {
    if (!standinsReport_) {
        GTEST_SKIP() << "only the stand-ins count enumerations";
    }
    TemporaryFile file(kThreeChips);
    const auto enumerations = [&] {
        return sim::loadScenario(file.path()).value().document["winefake"]["enumerations"];
    };
    run({"-zorvexnum"}, file.path());
    EXPECT_EQ(enumerations(), 1);
    run({"-mcplist"}, file.path());
    EXPECT_EQ(enumerations(), 4);  // the count, then one call per chip
    run({"-on"}, file.path());
    EXPECT_EQ(enumerations(), 1);
    run({"1", "-set"}, file.path());
    EXPECT_EQ(enumerations(), 1);
    run({"-help"}, file.path());
    EXPECT_EQ(enumerations(), 0);
}

TEST_F(ConsoleTest, ChipStringsPrintAsShiftJisWithUnsafeCharactersAsQuestionMarks) {
    // 日本製 / ﾃｽﾄ表 (whose second byte is 0x5C); an escape sequence, DEL, a
    // C1 control, an emoji, a yen sign and a lone surrogate.
    TemporaryFile file(R"({"devices": [
        {"vendorId": 1240, "productId": 221, "manufacturer": "\u65e5\u672c\u88fd",
         "product": "\uff83\uff7d\uff84\u8868"},
        {"vendorId": 1240, "productId": 221, "manufacturer": "a\u001b[2Jb\u007fc\u009bd",
         "product": "\ud83d\ude00 \u00a5 \u00e9"},
        {"vendorId": 1240, "productId": 221, "manufacturerReadable": false,
         "productReadable": false}
    ]})");
    EXPECT_EQ(run({"-mcplist"}, file.path()),
              lines("Found Mcp2221a ... 3 unit.\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[0]\n"
                    "  Manufacture = \x93\xfa\x96{\x90\xbb\n"
                    "  Product     = \xc3\xbd\xc4\x95\x5c\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[1]\n"
                    "  Manufacture = a?[2Jb?c?d\n"
                    "  Product     = ? ? ?\n"
                    "---------------------------------------------\n"
                    "Mcp2221a[2]\n"
                    "  Manufacture = \n"
                    "  Product     = \n"));
}

TEST_F(ConsoleTest, MissingLibraryOrEntryPointIsReportedAndNothingRuns) {
    const ScratchFolder scratch("missing");
    const fs::path lonely = consoleCopyIn(scratch.path());
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {"-mcplist"}, {"-ON"}, {"5"}, {"0", "-on"}}) {
        EXPECT_EQ(run(arguments, "", lonely), lines(notFound("zorvex.dll")));
    }

    const fs::path partial = consoleCopyIn(scratch.path() / "partial", incompleteLibrary());
    EXPECT_EQ(run({}, "", partial), lines(notFound("switchZorvex")));
    EXPECT_EQ(run({"-on"}, "", partial), lines(notFound("switchZorvex")));

    // A library cut short (a broken copy, a full disk) is not there either.
    const fs::path library = libraryBesideConsole();
    for (const std::uintmax_t cut : {0, 4096, 32768, 100000}) {
        const fs::path folder = scratch.path() / ("cut" + std::to_string(cut));
        const fs::path console = consoleCopyIn(folder, library);
        fs::resize_file(folder / "zorvex.dll", cut);
        EXPECT_EQ(run({"-mcplist"}, "", console), lines(notFound("zorvex.dll"))) << cut;
    }
}

#if !defined(_WIN32)
TEST_F(ConsoleTest, ReaderThatWentAwayLeavesTheExitCodeAtZero) {
    TemporaryFile file(kThreeChips);
    std::vector<std::string> command = consoleCommand(console_, {"-mcplist"}, file.path());
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);  // nobody will ever read
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[1]);
        setenv("ZORVEX_SIM_DEVICES", file.path().c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST_F(ConsoleTest, FindsTheLibraryWhateverItsFolderIsCalled) {
    // Blanks, and Japanese whose Shift-JIS form has 0x5C as a trail byte (表
    // is 0x95 0x5C). Elsewhere also a backslash, which is no separator there,
    // and a path far past 260 characters, which Windows cannot start a
    // program from.
    const ScratchFolder scratch("path");
    fs::path folder = scratch.path() / "with blanks" / fs::u8path(u8"\u8868\u793a\u30bd");
#if defined(_WIN32)
    const std::size_t longerThan = 150;
#else
    const std::size_t longerThan = 300;
    folder /= "back\\slash";
#endif
    while (folder.native().size() <= longerThan) {
        folder /= std::string(50, 'd');
    }
    const fs::path console = consoleCopyIn(folder, libraryBesideConsole());
    EXPECT_EQ(run({"-zorvexnum"}, "", console), lines("Found Zorvex ... 0 unit.\n"));
}

#if defined(_WIN32)
// What only a real HID stack shows: the hardware console on Wine's own
// setupapi, hid, hidclass and ntoskrnl, chips plugged in and out as Windows
// sees devices come and go.
class WineHidStackTest : public ConsoleTest {
  protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        if (!onWineHidStack()) {
            GTEST_SKIP() << "not on Wine's own HID stack";
        }
    }
};

TEST_F(WineHidStackTest, UnplugWhileTheChipIsAwaitedEndsTheWaitAtOnce) {
    TemporaryFile file(R"({"devices": [{"vendorId": 1240, "productId": 221,
        "product": "Plain", "responds": false}]})");
    // The chip goes as soon as the product string report is in, while the console awaits
    // the reply that will never come.
    StartedConsole unplug(wineHidTool(), {"unplug", "0", "--after", file.path(), "1"}, file.path());
    StartedConsole console(console_, {"0", "-set"}, file.path());
    const ConsoleRun result = console.finish();
    ASSERT_EQ(unplug.finish().exitCode, 0);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
    // The unplug lands in the wait for that report's reply or, on a busy machine,
    // in the wait for the settings report's; either way that wait ends then and there, not
    // at its 1000 ms, and nothing more is sent.
    const std::vector<std::string> received = chipIn(file, 0).received;
    ASSERT_GE(received.size(), 1u);
    ASSERT_LE(received.size(), 2u);
    EXPECT_EQ(received[0], kWriteProductStringReport);
    EXPECT_LT(result.elapsed, std::chrono::milliseconds(1000) * received.size());
}

#endif

// The chips behind a real operating system's stack: Wine's own HID stack,
// or Debian's hidapi and libudev on a umockdev testbed.
class RealStackTest : public ConsoleTest {
  protected:
#if defined(_WIN32)
    static bool onUmockdev() {
        return false;
    }
    static bool onRealStack() {
        return onWineHidStack();
    }
#else
    static bool onUmockdev() {
        return !chipSetTool().empty() && !onRealKernel();
    }
    static bool onRealStack() {
        return onUmockdev();
    }
#endif
    void SetUp() override {
        ConsoleTest::SetUp();
        if (!onRealStack()) {
            GTEST_SKIP() << "the chips are not behind a real stack";
        }
    }
    // Unplugs device `index` and plugs it in again, its chip starting from
    // its flash. On umockdev every run is a new testbed: the file is all.
    static bool replug(const TemporaryFile& file, std::size_t index) {
#if defined(_WIN32)
        return wineHid({"replug", file.path(), std::to_string(index)});
#else
        const sim::ScenarioLock lock(file.path());
        auto scenario = sim::loadScenario(file.path());
        if (!scenario || index >= scenario->devices.chips.size()) {
            return false;
        }
        sim::replug(scenario->devices.chips[index]);
        return sim::saveScenario(file.path(), *scenario);
#endif
    }
};

TEST_F(RealStackTest, ListingsAndSetUpsWithReplugsRepeatExactly) {
    TemporaryFile file(kThreeChips);
    const std::string listing = run({"-mcplist"}, file.path());
    ASSERT_EQ(listing.rfind(lines("Found Mcp2221a ... 3 unit.\n"), 0), 0u) << listing;
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(run({"-mcplist"}, file.path()), listing) << "run " << i;
    }
    // Each round: chip 2 as it left the factory, set up, replugged, a unit.
    // Wine's stack takes about a second a round.
    const int rounds = onUmockdev() ? 200 : 50;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            const sim::ScenarioLock lock(file.path());
            auto scenario = sim::loadScenario(file.path()).value();
            sim::SimChip& chip = scenario.devices.chips[3];
            chip.product = chip.flash.product = u"Plain";
            chip.gpSettings = chip.flash.gpSettings = sim::kFactoryGpSettings;
            chip.received.clear();
            ASSERT_TRUE(sim::saveScenario(file.path(), scenario));
        }
        ASSERT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 1 unit.\n"));
        ASSERT_EQ(run({"2", "-set"}, file.path()), "");
        ASSERT_EQ(chipIn(file, 3).received,
                  (std::vector<std::string>{kWriteProductStringReport, kWriteGpSettingsReport}));
        ASSERT_TRUE(replug(file, 3));
        ASSERT_EQ(run({"-zorvexnum"}, file.path()), lines("Found Zorvex ... 2 unit.\n"));
        ASSERT_EQ(run({"1", "-on"}, file.path()), "");
        ASSERT_EQ(chipIn(file, 3).gpioOutput[0], 1);
    }
}

// The console beside the library that drives real chips, on a machine with
// no chip attached.
class HardwareConsoleTest : public ConsoleFixture {
  protected:
    void SetUp() override {
        console_ = hardwareConsole();
        if (console_.empty()) {
            GTEST_SKIP() << "this build has no hardware library";
        }
    }
    // Runs and checks that the answer came quickly: with no chip, nothing waits.
    std::string runQuickly(const std::vector<std::string>& arguments) {
        const auto start = std::chrono::steady_clock::now();
        std::string output = run(arguments);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        return output;
    }
};

TEST_F(HardwareConsoleTest, FindsNoChipsWhereNoneIsAttached) {
    EXPECT_EQ(runQuickly({"-mcplist"}), lines("Found Mcp2221a ... 0 unit.\n"));
    EXPECT_EQ(runQuickly({"-zorvexnum"}), lines("Found Zorvex ... 0 unit.\n"));
    EXPECT_EQ(runQuickly({"-on"}), "");
    EXPECT_EQ(runQuickly({}), lines(kUsage));

    const ScratchFolder scratch("hardware");
    EXPECT_EQ(run({"-mcplist"}, "", consoleCopyIn(scratch.path())), lines(notFound("zorvex.dll")));
}

}  // namespace
}  // namespace zorvex::test
