// Runs the real zorvex_cui as a separate process and captures its standard
// output byte for byte. The console under test is the build's own unless
// ZORVEX_CUI names another; a Windows build's writes CR LF line ends. (Under
// Wine, what the console's process needs in its environment, such as
// WINEDLLOVERRIDES, must be in the test's: Wine passes its own variables on
// from the Unix side only.)
#ifndef ZORVEX_TESTS_CONSOLE_RUN_H
#define ZORVEX_TESTS_CONSOLE_RUN_H

#include <filesystem>
#include <string>
#include <vector>

namespace zorvex::test {

struct ConsoleRun {
    std::string output;
    int exitCode = -1;
};

// Runs `console` with `arguments`, ZORVEX_SIM_DEVICES set to `scenario`
// (unset when empty).
ConsoleRun runConsole(const std::filesystem::path& console,
                      const std::vector<std::string>& arguments, const std::string& scenario);

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
