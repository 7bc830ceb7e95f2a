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

// Reads arguments left to right. One that the C runtime's "%u" converts is a
// number and replaces unitNumber ("7x" is 7, "-1" is 4294967295); the first
// one it does not convert is the option, and the scan stops there.
CommandLine scanArguments(int argc, char* argv[]);

}  // namespace zorvex::console

#endif
