#include "console_run.h"

#include "test_platform.h"

namespace zorvex::test {

std::filesystem::path consoleUnderTest() {
    return buildPath(environment("ZORVEX_CUI", ZORVEX_DEFAULT_CUI));
}

std::filesystem::path hardwareConsole() {
    return buildPath(environment("ZORVEX_HARDWARE_CUI", ZORVEX_DEFAULT_HARDWARE_CUI));
}

bool standinsReport() {
    return environment("ZORVEX_STANDINS_REPORT") == "1";
}

std::filesystem::path incompleteLibrary() {
    return buildPath(environment("ZORVEX_INCOMPLETE_LIBRARY", ZORVEX_DEFAULT_INCOMPLETE_LIBRARY));
}

std::string lines(const std::string& text) {
#if defined(_WIN32)
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
#else
    return text;
#endif
}

}  // namespace zorvex::test
