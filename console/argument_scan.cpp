#include "argument_scan.h"

namespace zorvex::console {

namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

// The Windows runtime's "%u": blanks skipped, one sign, then decimal digits
// gathered in 32 bits that wrap (so 4294967296 is 0 and -1 is 4294967295).
// MinGW's and glibc's own scanf clamp instead; scripts must get the same
// unit on every build, so the Windows rule is spelled out here.
bool readUnsigned(const char* text, std::uint32_t& number) {
    const char* c = text;
    while (isBlank(*c)) {
        ++c;
    }
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') {
        ++c;
    }
    if (*c < '0' || *c > '9') {
        return false;
    }
    std::uint32_t value = 0;
    for (; *c >= '0' && *c <= '9'; ++c) {
        value = value * 10u + static_cast<std::uint32_t>(*c - '0');
    }
    number = negative ? 0u - value : value;
    return true;
}

CommandLine scanArguments(int argc, char* argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        if (!readUnsigned(argv[i], line.unitNumber)) {
            line.option = argv[i];
            break;
        }
    }
    return line;
}

}  // namespace zorvex::console
