// Runs the real zorvex_cui as a separate process and captures its standard
// output byte for byte. The console under test is the build's own unless
// ZORVEX_CUI names another; a Windows build's writes CR LF line ends. (Under
// Wine, what the console's process needs in its environment, such as
// WINEDLLOVERRIDES, must be in the test's: Wine passes its own variables on
// from the Unix side only.)
#ifndef ZORVEX_TESTS_CONSOLE_RUN_H
#define ZORVEX_TESTS_CONSOLE_RUN_H

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvex::test {

struct ConsoleRun {
    std::string output;
    int exitCode = -1;
    // From the console's start to its end.
    std::chrono::steady_clock::duration elapsed{};
};

// Runs `console` with `arguments`, ZORVEX_SIM_DEVICES set to `scenario`
// (unset when empty). On Wine's own HID stack, Wine's devices are made the
// scenario's first.
ConsoleRun runConsole(const std::filesystem::path& console,
                      const std::vector<std::string>& arguments, const std::string& scenario);

#if !defined(_WIN32)
// The command that runs `console` with `arguments` on the chip set under
// test: when ZORVEX_CHIP_SET_TOOL names a tool that puts the chips of
// `scenario` under a real Linux stack for one program (zorvex_umockdev's
// testbed, or zorvex_gadget's USB devices in the Linux VM), through it;
// else the console alone.
std::vector<std::string> consoleCommand(const std::filesystem::path& console,
                                        const std::vector<std::string>& arguments,
                                        const std::string& scenario);
// That tool, as ZORVEX_CHIP_SET_TOOL names it; empty where there is none.
std::string chipSetTool();
#endif

// Whether that tool is zorvex_gadget: the chips are USB devices of the Linux
// VM's real kernel.
bool onRealKernel();
// Whether Linux's own hid_mcp2221 holds them there (ZORVEX_VM_DRIVER): the
// driver sends the chips reports of its own and lets no flash write pass.
bool heldByKernelDriver();

#if defined(_WIN32)
// A console started and not yet waited for, so that a test can act while it
// runs; finish() waits for it (the destructor too).
class StartedConsole {
  public:
    StartedConsole(const std::filesystem::path& console, const std::vector<std::string>& arguments,
                   const std::string& scenario);
    ~StartedConsole();
    StartedConsole(const StartedConsole&) = delete;
    StartedConsole& operator=(const StartedConsole&) = delete;
    ConsoleRun finish();

  private:
    struct Process;
    Process* process_;
};

// Whether the console under test meets its chips through Wine's own HID
// stack, the devices plugged in by zorvex_winehid (ZORVEX_WINEHID_TOOL).
bool onWineHidStack();
// That tool, as ZORVEX_WINEHID_TOOL names it; empty where there is none.
std::filesystem::path wineHidTool();
// zorvex_winehid's commands: "plug FILE", "replug FILE N", "unplug N".
// True when it did what it was asked.
bool wineHid(const std::vector<std::string>& arguments);
#endif

// The console beside the simulated library.
std::filesystem::path consoleUnderTest();
// The console beside the hardware library.
std::filesystem::path hardwareConsole();
// Whether stand-ins for setupapi.dll and hid.dll serve the console under test
// and write what they saw into the scenario file (ZORVEX_STANDINS_REPORT=1).
bool standinsReport();
// A zorvex.dll that lacks switchZorvex.
std::filesystem::path incompleteLibrary();

// `text` with its line ends as the console writes them on this platform.
std::string lines(const std::string& text);

}  // namespace zorvex::test

#endif
