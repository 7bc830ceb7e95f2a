// The command line: zorvex_cui [no] [option].
#ifndef ZORVEX_CONSOLE_ARGUMENT_SCAN_H
#define ZORVEX_CONSOLE_ARGUMENT_SCAN_H

#include <cstdint>

namespace zorvex::console {

struct CommandLine {
    // The chip number for -set, the switch-unit number for -on and -off.
    std::uint32_t unitNumber = 0;
    // The first argument that is not a number; nullptr when there is none.
    const char* option = nullptr;
};

// Reads `text` as the Windows runtime's "%u" does: true and `number` set
// when it starts with a number ("7x" is 7, "-1" is 4294967295, "0x10" is 0).
bool readUnsigned(const char* text, std::uint32_t& number);

// Reads arguments left to right. One that "%u" converts is a number and
// replaces unitNumber; the first one it does not convert is the option, and
// the scan stops there.
CommandLine scanArguments(int argc, char* argv[]);

}  // namespace zorvex::console

#endif
