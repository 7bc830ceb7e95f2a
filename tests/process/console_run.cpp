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

bool onRealKernel() {
    const std::string tool = environment("ZORVEX_CHIP_SET_TOOL");
    const std::string name = "zorvex_gadget";
    return tool.size() >= name.size() &&
           tool.compare(tool.size() - name.size(), name.size(), name) == 0;
}

bool heldByKernelDriver() {
    return onRealKernel() && environment("ZORVEX_VM_DRIVER") == "mcp2221";
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
