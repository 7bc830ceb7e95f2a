// Runs the real zorvex_cui as a separate process and captures its standard
// output byte for byte. What to run comes from the environment, so that the
// same tests drive a native build or a Windows build under a launcher:
//   ZORVEX_CUI            the console executable (beside its zorvex.dll)
//   ZORVEX_CUI_LAUNCHER   a program to run it with (for instance wine); optional
//   ZORVEX_CUI_CRLF       1 when the console ends its lines with CR LF
//   ZORVEX_INCOMPLETE_LIBRARY  a zorvex.dll that lacks switchZorvex
// The first and the last default to the native build's.
#ifndef ZORVEX_TESTS_CONSOLE_RUN_H
#define ZORVEX_TESTS_CONSOLE_RUN_H

#include <string>
#include <vector>

namespace zorvex::test {

struct ConsoleRun {
    std::string output;
    int exitCode = -1;
};

// Runs `console` with `arguments`, ZORVEX_SIM_DEVICES set to `scenario`
// (unset when empty).
ConsoleRun runConsole(const std::string& console, const std::vector<std::string>& arguments,
                      const std::string& scenario);

// The console under test, and the library that lacks an entry point.
std::string consoleUnderTest();
std::string incompleteLibrary();

// `text` with its line ends as the console under test writes them.
std::string lines(const std::string& text);

}  // namespace zorvex::test

#endif
