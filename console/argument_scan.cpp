#include "argument_scan.h"

#include <cstdio>

namespace zorvex::console {

CommandLine scanArguments(int argc, char* argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        unsigned int number = 0;
        if (std::sscanf(argv[i], "%u", &number) != 1) {
            line.option = argv[i];
            break;
        }
        line.unitNumber = number;
    }
    return line;
}

}  // namespace zorvex::console
